// Replays the fuzz targets' seed corpus through the same checks, built by the program's own
// compiler: the preamble seeds straight into the decoder, the reply seeds through the simulated
// scope's driver library (which reports the count it delivers) into the reply trimming.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_checks.h"
#include "portable.h"
#include "recording_platform.h"
#include "scope/gpib_driver.h"
#include "sim_harness.h"
#include "support_sim_link.h"

namespace {

namespace fs = std::filesystem;

fs::path Corpus(const char* target) {
    return fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz" / "corpus" /
           target;
}

std::vector<std::pair<std::string, std::string>> Seeds(const char* target) {
    std::vector<std::pair<std::string, std::string>> seeds;
    for (const auto& entry : fs::directory_iterator(Corpus(target))) {
        std::ifstream in(entry.path(), std::ios::binary);
        seeds.emplace_back(entry.path().filename().string(),
                           std::string(std::istreambuf_iterator<char>(in), {}));
    }
    return seeds;
}

const uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

std::string Escaped(const std::string& bytes) {
    std::string out;
    char hex[8];
    for (unsigned char c : bytes) {
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += hex;
    }
    return out;
}

TEST(FuzzCorpus, PreambleSeedsKeepThePreambleSound) {
    testing_support::RecordedPlatform rec;
    const auto seeds = Seeds("preamble");
    ASSERT_GE(seeds.size(), 5u) << Corpus("preamble");
    for (const auto& [name, bytes] : seeds) {
        std::fprintf(stderr, "seed %s\n", name.c_str());
        fuzzing::Check_preamble(Bytes(bytes), bytes.size());
    }
}

TEST(FuzzCorpus, ReplySeedsTrimInsideTheirBounds) {
    testing_support::RecordedPlatform rec;
    const std::string sim = testing_support::Simulator_path();
    ASSERT_TRUE(fs::is_regular_file(sim)) << "no simulated scope at " << sim;
    platform::Set_environment_variable("GPIB_LIBRARY", sim);
    const auto seeds = Seeds("reply_trim");
    ASSERT_GE(seeds.size(), 5u) << Corpus("reply_trim");
    for (const auto& [name, bytes] : seeds) {
        std::fprintf(stderr, "seed %s\n", name.c_str());
        const fuzzing::TrimInput in = fuzzing::Decode_trim_input(Bytes(bytes), bytes.size());
        // The simulator reports what it delivers: a count below the reply's length is played
        // as a shorter reply.
        const std::size_t sent =
            std::min(in.reply.size(), static_cast<std::size_t>(std::max(in.reported, 0)));
        // An empty value removes a variable on Windows: the simulator cannot be told to answer
        // with nothing there.
        if (portable::windows && sent == 0)
            continue;
        sim_harness::SimHarness harness({{"HP_SIM_REPLY_ID", Escaped(in.reply.substr(0, sent))}});
        scope::Load_gpib_library();
        scope::Link.Device = scope::Call_ibdev(0, 5, 0, 12, 1, 0);
        scope::Send_command("ID ?");
        scope::Read_reply();
        EXPECT_EQ(scope::Ibcnt(), static_cast<int32_t>(std::min<std::size_t>(sent, 1024)));
        fuzzing::Check_trimmed(in, std::min<std::size_t>(sent, 1024), scope::Ibcnt());
        scope::Release_gpib_library();
    }
    platform::Unset_environment_variable("GPIB_LIBRARY");
}

}  // namespace
