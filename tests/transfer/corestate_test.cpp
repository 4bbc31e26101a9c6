// A fresh core after ResetCoreState: what one transfer test leaves behind
// never reaches the next.
#include <gtest/gtest.h>

#include <cstring>

#include "shell/uldo.h"
#include "transfer/corestate.h"
#include "transfer/ftp.h"
#include "transfer/gpib.h"
#include "transfer/tcp.h"

TEST(CoreState, ResetForgetsTheTransferSettings) {
    SetField(ftp.host, "awg.example.net");
    ASSERT_EQ(SetFtpLogin("operator", "secret"), 0);
    SetFtpStatusPauses(0);
    SetField(instrument_resource, "TCPIP::awg.example.net::INSTR");
    instrument_answers.asked = 1;
    ibsta = ERR;
    int handle = 0;
    ASSERT_LT(ConnectToTCPServer(&handle, 0, "127.0.0.1", nullptr, nullptr, 100), 0);
    ASSERT_STREQ(TCPLastProblem(), "no such port");

    ResetCoreState();
    EXPECT_STREQ(ftp.host, "");
    EXPECT_EQ(ftp.user, "");
    EXPECT_EQ(ftp.password, "");
    EXPECT_EQ(ftp.status_pauses, 1);
    EXPECT_EQ(ftp.output.open, 0);
    EXPECT_EQ(nethdl, 0);
    EXPECT_EQ(nethdl2, 0);
    EXPECT_STREQ(instrument_resource, "");
    EXPECT_EQ(instrument_answers.asked, 0);
    EXPECT_EQ(ibsta, 0);
    EXPECT_STREQ(TCPLastProblem(), "unknown failure");
}
