#include "ftp/data_address.h"

#include <gtest/gtest.h>

#include "platform/tls_stream.h"

namespace tovra {
namespace {

struct ReplyCase {
  const char* text;
  std::optional<int> port;
};

class EpsvReply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(EpsvReply, GivesThePortOrNothing) { EXPECT_EQ(ParseEpsvReply(GetParam().text), GetParam().port); }

INSTANTIATE_TEST_SUITE_P(Texts, EpsvReply,
                         ::testing::Values(ReplyCase{"Entering Extended Passive Mode (|||6446|)", 6446},
                                           ReplyCase{"Entering Extended Passive Mode (!!!65535!)", 65535},
                                           ReplyCase{"EPSV ok (|2|::1|2121|)", 2121},
                                           ReplyCase{"Entering Extended Passive Mode (|||65536|)", std::nullopt},
                                           ReplyCase{"Entering Extended Passive Mode (|||0|)", std::nullopt},
                                           ReplyCase{"Entering Extended Passive Mode (|||6446)", std::nullopt},
                                           ReplyCase{"Entering Extended Passive Mode (1116461)", std::nullopt},
                                           ReplyCase{"Entering Extended Passive Mode", std::nullopt},
                                           ReplyCase{"(|||)", std::nullopt}));

class PasvReply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(PasvReply, GivesThePortAndIgnoresTheAddress) { EXPECT_EQ(ParsePasvReply(GetParam().text), GetParam().port); }

INSTANTIATE_TEST_SUITE_P(Texts, PasvReply,
                         ::testing::Values(ReplyCase{"Entering Passive Mode (127,0,0,1,4,1).", 1025},
                                           ReplyCase{"Entering Passive Mode (10,0,0,9,1,0)", 256},
                                           ReplyCase{"Entering Passive Mode 127,0,0,9,255,255", 65535},
                                           ReplyCase{"Entering Passive Mode (127,0,0,1,256,1)", std::nullopt},
                                           ReplyCase{"Entering Passive Mode (127,0,0,1,4)", std::nullopt},
                                           ReplyCase{"Entering Passive Mode (127,0,0,1,0,0)", std::nullopt},
                                           ReplyCase{"Entering Passive Mode", std::nullopt}));

TEST(EprtArgument, NamesTheFamilyOfTheAddress) {
  EXPECT_EQ(EprtArgument("127.0.0.1", 1025), "|1|127.0.0.1|1025|");
  EXPECT_EQ(EprtArgument("::1", 40000), "|2|::1|40000|");
}

struct PinCase {
  const char* typed;
  const char* canonical;
};

class PinSpelling : public ::testing::TestWithParam<PinCase> {};

TEST_P(PinSpelling, BecomesUpperCasePairs) { EXPECT_EQ(CanonicalSha256(GetParam().typed), GetParam().canonical); }

#define FP_UPPER "5B:33:24:77:A1:B9:8D:CD:F6:55:D5:64:5A:45:59:8A:EC:E0:5B:2E:DB:53:AD:5B:58:E4:7B:A7:38:98:F5:60"
INSTANTIATE_TEST_SUITE_P(
    Texts, PinSpelling,
    ::testing::Values(PinCase{FP_UPPER, FP_UPPER},
                      PinCase{"5b:33:24:77:a1:b9:8d:cd:f6:55:d5:64:5a:45:59:8a:ec:e0:5b:2e:db:53:ad:5b:58:e4:7b:a7:"
                              "38:98:f5:60",
                              FP_UPPER},
                      PinCase{"5B332477A1B98DCDF655D5645A45598AECE05B2EDB53AD5B58E47BA73898F560", FP_UPPER},
                      PinCase{"5B:33:24", ""}, PinCase{"", ""},
                      PinCase{"ZZ332477A1B98DCDF655D5645A45598AECE05B2EDB53AD5B58E47BA73898F560", ""},
                      PinCase{"5B332477A1B98DCDF655D5645A45598AECE05B2EDB53AD5B58E47BA73898F56000", ""}));

}  // namespace
}  // namespace tovra
