// What the component programs is read back from the terminal itself.
#include "link/SerialPortDriver.h"
#include "tests/support/PtyPeer.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

using test::PtyLine;
using test::PtyPeer;

class SerialLineSettings : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.Ok());
        peer.SetAsComPort(2);
    }
    PtyPeer peer;
    TSerialPortDriver port;
};

TEST_F(SerialLineSettings, every_speed_is_set_exactly_on_the_terminal) {
    const struct {
        TComPortBaudRate rate;
        int bits;
    } speeds[] = {{br110, 110},      {br300, 300},     {br600, 600},     {br1200, 1200},
                  {br2400, 2400},    {br4800, 4800},   {br9600, 9600},   {br14400, 14400},
                  {br19200, 19200},  {br38400, 38400}, {br56000, 56000}, {br57600, 57600},
                  {br115200, 115200}};
    ASSERT_TRUE(port.Connect());
    for (const auto& speed : speeds) {
        SCOPED_TRACE(speed.bits);
        EXPECT_EQ(BaudRateBits(speed.rate), speed.bits);
        port.SetComPortSpeed(speed.rate);
        const PtyLine line = peer.Line();
        EXPECT_EQ(line.outputSpeed, speed.bits);
        EXPECT_EQ(line.inputSpeed, speed.bits);
    }
}

TEST_F(SerialLineSettings, the_main_forms_settings_reach_the_terminal_on_connect) {
    port.SetComPortSpeed(br19200);
    port.SetComPortHwHandshaking(hhRTSCTS);
    ASSERT_TRUE(port.Connect());

    const PtyLine line = peer.Line();
    EXPECT_EQ(line.outputSpeed, 19200);
    EXPECT_EQ(line.inputSpeed, 19200);
    EXPECT_TRUE(line.rtsCts);
    EXPECT_FALSE(line.xon);
    EXPECT_FALSE(line.xoff);
    EXPECT_FALSE(line.twoStopBits);
    EXPECT_TRUE(line.raw);
    EXPECT_TRUE(line.receiver);
    EXPECT_EQ(port.XonLim(), 512);
    EXPECT_EQ(port.XoffLim(), 512);
}

TEST_F(SerialLineSettings, framing_and_flow_control_changes_apply_while_connected) {
    // A pseudo-terminal forces eight data bits and no parity whatever it is told
    // (CSIZE, PARENB); the stop bits, the kind of parity and the flow control stay.
    struct Case {
        const char* name;
        void (*set)(TSerialPortDriver&);
        bool twoStopBits, oddParity, stickParity, rtsCts, xonXoff;
    };
    const Case cases[] = {
        {"defaults", [](TSerialPortDriver&) {}, false, false, false, false, false},
        {"xon/xoff", [](TSerialPortDriver& p) { p.SetComPortSwHandshaking(shXONXOFF); }, false,
         false, false, false, true},
        {"rts/cts", [](TSerialPortDriver& p) { p.SetComPortHwHandshaking(hhRTSCTS); }, false, false,
         false, true, false},
        {"7 even 2",
         [](TSerialPortDriver& p) {
             p.SetComPortDataBits(db7BITS);
             p.SetComPortParity(ptEVEN);
             p.SetComPortStopBits(sb2BITS);
         },
         true, false, false, false, false},
        {"5 odd 1.5",
         [](TSerialPortDriver& p) {
             p.SetComPortDataBits(db5BITS);
             p.SetComPortParity(ptODD);
             p.SetComPortStopBits(sb1HALFBITS);
         },
         true, true, false, false, false},
        {"mark", [](TSerialPortDriver& p) { p.SetComPortParity(ptMARK); }, false, true, true, false,
         false},
        {"space", [](TSerialPortDriver& p) { p.SetComPortParity(ptSPACE); }, false, false, true,
         false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TSerialPortDriver fresh;
        ASSERT_TRUE(fresh.Connect());
        c.set(fresh);
        const PtyLine line = peer.Line();
        EXPECT_EQ(line.twoStopBits, c.twoStopBits);
        EXPECT_EQ(line.oddParity, c.oddParity);
        EXPECT_EQ(line.stickParity, c.stickParity);
        EXPECT_EQ(line.rtsCts, c.rtsCts);
        EXPECT_EQ(line.xon, c.xonXoff);
        EXPECT_EQ(line.xoff, c.xonXoff);
        EXPECT_TRUE(line.raw);
        EXPECT_EQ(line.outputSpeed, 9600);
    }
}

TEST_F(SerialLineSettings, flow_limits_follow_the_input_queue_size_up_to_4096) {
    const struct {
        uint16_t inBufSize;
        int limit;
    } cases[] = {{2048, 512}, {100, 25}, {16384, 4096}, {60000, 4096}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.inBufSize);
        TSerialPortDriver fresh;
        fresh.SetComPortInBufSize(c.inBufSize);
        ASSERT_TRUE(fresh.Connect());
        EXPECT_EQ(fresh.XonLim(), c.limit);
        EXPECT_EQ(fresh.XoffLim(), c.limit);
    }
}

TEST_F(SerialLineSettings, a_pseudo_terminal_shows_no_modem_line) {
    EXPECT_EQ(port.GetLineStatus(), 0u); // closed
    ASSERT_TRUE(port.Connect());
    EXPECT_EQ(port.GetLineStatus(), 0u);
    // With the line check on, a port without any modem signal takes nothing.
    port.SetCheckLineStatus(true);
    EXPECT_FALSE(port.SendString("AT\r\n"));
    EXPECT_EQ(peer.ReadFor(50), "");
    port.SetCheckLineStatus(false);
    EXPECT_TRUE(port.SendString("AT\r\n"));
    EXPECT_EQ(peer.ReadFor(50), "AT\r\n");
}

} // namespace
} // namespace kestrel
