// A connection to the simulated scope for the acquisition and measurement tests: the recording
// platform, the simulator's settings and traffic log, a fresh link state, and helpers to read
// the bus traffic back.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "model/waveform.h"
#include "platform/environment.h"
#include "portable.h"
#include "recording_platform.h"
#include "scope/gpib_driver.h"
#include "scope/library_loader.h"
#include "scope/scope_link.h"
#include "sim_harness.h"

namespace testing_support {

// $HP_SIM_LIBRARY, else the simulator built beside the test programs (ctest may not pass the
// variable on).
inline std::string Simulator_path() {
    if (const char* p = std::getenv("HP_SIM_LIBRARY"); p != nullptr && *p != '\0')
        return p;
    return portable::Program_folder() + "/../sim/" + scope::Library_file_name("libhp54200a_sim.so");
}

class SimLinkTest : public ::testing::Test {
  protected:
    RecordedPlatform rec;
    sim_harness::SimHarness harness;

    void SetUp() override {
        const std::string sim = Simulator_path();
        ASSERT_TRUE(std::filesystem::is_regular_file(sim)) << "no simulated scope at " << sim;
        platform::Set_environment_variable("GPIB_LIBRARY", sim);
        scope::Link = scope::LinkState{};
        model::Preamble = model::TPreamble{};
        model::Byte_format = false;
        model::Waveforms = {};
    }
    void TearDown() override {
        scope::Release_gpib_library();
        platform::Unset_environment_variable("GPIB_LIBRARY");
    }

    // Opens the connection with the settings made so far and forgets its traffic.
    void Connect() {
        scope::initialize_hp54200A();
        harness.clear_log();
        rec.platform.sleeps.clear();
        rec.status.lines.clear();
    }

    // Through the driver chosen so far: the identity read's count and status as its status form
    // reports them, then a read that times out reported through the same form, in its box.
    void Expect_status_form_read() {
        scope::Link = scope::LinkState{};
        scope::initialize_hp54200A();
        EXPECT_TRUE(scope::Link.Scope_initialized);
        EXPECT_EQ(scope::Ibcnt(), 12);
        EXPECT_EQ(scope::Ibsta() & 0x2100, 0x2100);  // END and CMPL of the identity read
        scope::Release_gpib_library();

        harness.set("HP_SIM_TIMEOUT_READ", "1");
        rec.platform.boxes.clear();
        ::testing::internal::CaptureStderr();
        EXPECT_THROW(scope::initialize_hp54200A(), platform::ProgramStopped);
        ::testing::internal::GetCapturedStderr();
        ASSERT_FALSE(rec.platform.boxes.empty());
        EXPECT_EQ(rec.platform.boxes[0].text,
                  "Unable to read from device  ibsta = $C100  iberr = 6");
        harness.unset("HP_SIM_TIMEOUT_READ");
    }

    // The bus calls as short tokens: a write's text, "read <count asked>", "ibonl", "unload".
    std::vector<std::string> Traffic() const {
        std::vector<std::string> out;
        for (const auto& e : harness.log()) {
            if (e.function == "ibwrt") {
                out.push_back(e.data);
            } else if (e.function == "ibrd") {
                out.push_back("read " + e.args.substr(e.args.find("count=") + 6));
            } else {
                out.push_back(e.function);
            }
        }
        return out;
    }

    // The bytes delivered by each read that asked for `count` bytes.
    std::vector<std::string> Reads_of(long count) const {
        std::vector<std::string> out;
        const std::string tag = "count=" + std::to_string(count);
        for (const auto& e : harness.log()) {
            if (e.function == "ibrd" && e.args.find(tag) != std::string::npos)
                out.push_back(e.data);
        }
        return out;
    }
};

}  // namespace testing_support
