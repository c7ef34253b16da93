// The bus address from GPIB_BOARD and GPIB_ADDRESS: defaults when unset or empty, decimal digits
// within range only, a refusal that names the variable, the value and the range, and the
// address reaching ibdev.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "scope/bus_address.h"
#include "support_sim_link.h"

namespace {

using testing_support::SimLinkTest;

class BusAddressTest : public SimLinkTest {
  protected:
    void TearDown() override {
        platform::Unset_environment_variable("GPIB_BOARD");
        platform::Unset_environment_variable("GPIB_ADDRESS");
        scope::Bus = scope::BusAddress{};
        SimLinkTest::TearDown();
    }
};

TEST_F(BusAddressTest, ValuesTakenAndRefused) {
    struct Case {
        const char* variable;
        const char* value;  // nullptr: unset
        int board;          // expected when taken; -1 when refused
        int address;
    };
    const Case cases[] = {
        {"GPIB_ADDRESS", nullptr, 0, 5}, {"GPIB_ADDRESS", "", 0, 5},
        {"GPIB_ADDRESS", "7", 0, 7},     {"GPIB_ADDRESS", "0", 0, 0},
        {"GPIB_ADDRESS", "30", 0, 30},   {"GPIB_ADDRESS", "007", 0, 7},
        {"GPIB_BOARD", "15", 15, 5},     {"GPIB_BOARD", "", 0, 5},
        {"GPIB_ADDRESS", "31", -1, 0},   {"GPIB_ADDRESS", "-1", -1, 0},
        {"GPIB_ADDRESS", "+5", -1, 0},   {"GPIB_ADDRESS", " 5", -1, 0},
        {"GPIB_ADDRESS", "5 ", -1, 0},   {"GPIB_ADDRESS", "0x5", -1, 0},
        {"GPIB_ADDRESS", "five", -1, 0}, {"GPIB_ADDRESS", "99999999999999999999999", -1, 0},
        {"GPIB_BOARD", "16", -1, 0},     {"GPIB_BOARD", "1.0", -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.variable) + "=" + (c.value ? c.value : "(unset)"));
        platform::Unset_environment_variable("GPIB_BOARD");
        platform::Unset_environment_variable("GPIB_ADDRESS");
        if (c.value != nullptr)
            platform::Set_environment_variable(c.variable, c.value);
        const scope::BusAddressReading r = scope::Read_bus_address();
        if (c.board < 0) {
            ASSERT_TRUE(r.refusal.has_value());
            EXPECT_EQ(r.refusal->rfind(std::string(c.variable) + "=\"" + c.value + "\"", 0), 0u);
        } else {
            EXPECT_FALSE(r.refusal.has_value()) << *r.refusal;
            EXPECT_EQ(r.address.board, c.board);
            EXPECT_EQ(r.address.primary_address, c.address);
        }
    }
}

TEST_F(BusAddressTest, RefusalStopsBeforeAnyDriverCall) {
    struct Case {
        const char* variable;
        const char* value;
        const char* text;
    };
    const Case cases[] = {
        {"GPIB_ADDRESS", "31",
         "GPIB_ADDRESS=\"31\" is not a valid GPIB primary address: use a number from 0 to 30."},
        {"GPIB_BOARD", "x",
         "GPIB_BOARD=\"x\" is not a valid GPIB board index: use a number from 0 to 15."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variable);
        platform::Set_environment_variable(c.variable, c.value);
        rec.platform.boxes.clear();
        rec.platform.stops = 0;
        ::testing::internal::CaptureStderr();
        EXPECT_THROW(scope::Configure_bus_address(), platform::ProgramStopped);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "hp54200a: " + std::string(c.text) + "\n");
        ASSERT_EQ(rec.platform.boxes.size(), 1u);
        EXPECT_EQ(rec.platform.boxes[0].caption, "Error");
        EXPECT_EQ(rec.platform.boxes[0].text, c.text);
        EXPECT_EQ(rec.platform.stops, 1);
        EXPECT_FALSE(scope::Gpib_library_loaded());
        EXPECT_TRUE(harness.calls().empty());
        platform::Unset_environment_variable(c.variable);
    }
}

TEST_F(BusAddressTest, ConfiguredAddressReachesIbdevAndUnsetRestoresTheDefault) {
    harness.set("HP_SIM_ADDRESS", "7");
    platform::Set_environment_variable("GPIB_ADDRESS", "7");
    scope::Configure_bus_address();
    scope::initialize_hp54200A();
    EXPECT_TRUE(scope::Link.Scope_initialized);
    const auto log = harness.log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[1].function, "ibdev");
    EXPECT_EQ(log[1].args, "board=0 pad=7 sad=0 tmo=12 eot=1 eos=0");

    // Nobody answers at the factory address now: the program's default finds no listener.
    platform::Unset_environment_variable("GPIB_ADDRESS");
    scope::Configure_bus_address();
    EXPECT_EQ(scope::Bus.primary_address, 5);
    EXPECT_EQ(scope::Bus.board, 0);
    scope::Release_gpib_library();
    EXPECT_THROW(scope::initialize_hp54200A(), platform::ProgramStopped);
    ASSERT_FALSE(rec.platform.boxes.empty());
    EXPECT_EQ(rec.platform.boxes[0].text.rfind("Unable to open device", 0), 0u);
}

// The real stop: an exit with status 1 and the refusal on standard error.
TEST(BusAddressDeathTest, RefusedValueEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    platform::Set_environment_variable("GPIB_ADDRESS", "42");
    EXPECT_EXIT(scope::Configure_bus_address(), ::testing::ExitedWithCode(1),
                "GPIB_ADDRESS=\"42\" is not a valid GPIB primary address");
    platform::Unset_environment_variable("GPIB_ADDRESS");
}

}  // namespace
