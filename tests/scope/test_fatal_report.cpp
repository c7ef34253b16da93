// The four lines of the fatal GPIB report, built from a status word, an error code and a count.
#include <gtest/gtest.h>

#include "scope/gpib_driver.h"

namespace {

struct ReportCase {
    const char* name;
    int32_t ibsta;
    int32_t iberr;
    const char* status_line;
    const char* bits_line;
    const char* error_line;
};

const ReportCase kReportCases[] = {
    {"TimeoutOnRead", 0xC100, 6, "Unable to read data  ibsta = $C100  iberr = 6",
     "ibsta ===>   ERR  TMO  CMPL", "iberr ===>   EABO"},
    {"ErrorBitAlone", 0x8000, 0, "Unable to read data  ibsta = $8000  iberr = 0",
     "ibsta ===>   ERR", "iberr ===>   EDVR"},
    {"FourDigitsAtLeast", 0x100, 2, "Unable to read data  ibsta = $0100  iberr = 2",
     "ibsta ===>   CMPL", "iberr ===>   ENOL"},
    {"EveryBit", 0xFFFF, 20, "Unable to read data  ibsta = $FFFF  iberr = 20",
     "ibsta ===>   ERR  TMO  END  SRQI  RQS  SPOLL  EVENT  CMPL  LOK  REM  CIC  ATN  TACS  LACS"
     "  DTAS  DCAS",
     "iberr ===>   ETAB"},
    {"UnnamedCode9", 0x8000, 9, "Unable to read data  ibsta = $8000  iberr = 9", "ibsta ===>   ERR",
     "iberr ===> "},
    {"UnnamedCode21", 0x8000, 21, "Unable to read data  ibsta = $8000  iberr = 21",
     "ibsta ===>   ERR", "iberr ===> "},
    {"HigherBitsNotNamed", 0x18000, 1, "Unable to read data  ibsta = $18000  iberr = 1",
     "ibsta ===>   ERR", "iberr ===>   ECIC"},
    {"NoBits", 0, 16, "Unable to read data  ibsta = $0000  iberr = 16", "ibsta ===> ",
     "iberr ===>   ESRQ"},
};

TEST(FatalReport, LinesForStatusAndError) {
    for (const ReportCase& c : kReportCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(scope::Status_line("Unable to read data", c.ibsta, c.iberr), c.status_line);
        EXPECT_EQ(scope::Status_bits_line(c.ibsta), c.bits_line);
        EXPECT_EQ(scope::Error_name_line(c.iberr), c.error_line);
    }
}

TEST(FatalReport, EveryNamedErrorCode) {
    const std::pair<int32_t, const char*> names[] = {
        {0, "EDVR"},  {1, "ECIC"},  {2, "ENOL"},  {3, "EADR"},  {4, "EARG"},  {5, "ESAC"},
        {6, "EABO"},  {7, "ENEB"},  {8, "EDMA"},  {10, "EOIP"}, {11, "ECAP"}, {12, "EFSO"},
        {14, "EBUS"}, {15, "ESTB"}, {16, "ESRQ"}, {20, "ETAB"}};
    for (const auto& [code, name] : names) {
        EXPECT_EQ(scope::Error_name_line(code), std::string("iberr ===>   ") + name) << code;
    }
    for (int32_t code : {9, 13, 17, 18, 19, -1, 100}) {
        EXPECT_EQ(scope::Error_name_line(code), "iberr ===> ") << code;
    }
}

TEST(FatalReport, CountLine) {
    EXPECT_EQ(scope::Count_line(0), "ibcntl = 0");
    EXPECT_EQ(scope::Count_line(1024), "ibcntl = 1024");
}

}  // namespace
