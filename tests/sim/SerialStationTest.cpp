// The serial station over a pseudo-terminal: line speed, command mode, the
// password session, data mode with SLIP frames, restarts and line pacing.
#include "tests/sim/SimHarness.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace kestrel::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// The program's end of the line, as plainly as a terminal program would do it.
class SerialClient {
  public:
    ~SerialClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Open(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        return fd_ >= 0;
    }
    void SetSpeed(speed_t speed) {
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    void Write(const std::string& text) { Write(Bytes(text.begin(), text.end())); }
    void Write(const Bytes& bytes) {
        ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Everything that arrives until the line has been quiet for `quiet`.
    Bytes ReadUntilQuiet(std::chrono::milliseconds quiet = 250ms) {
        Bytes in;
        for (;;) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0) return in;
            std::uint8_t buffer[512];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) return in;
            in.insert(in.end(), buffer, buffer + n);
        }
    }
    std::string Exchange(const std::string& command) {
        Write(command);
        const Bytes answer = ReadUntilQuiet();
        return std::string(answer.begin(), answer.end());
    }

  private:
    int fd_ = -1;
};

class SerialStation : public ::testing::Test {
  protected:
    void Start(std::vector<std::string> args) {
        args.insert(args.begin(), {"--serial", dir_.File("tty")});
        sim_ = std::make_unique<SimProcess>(dir_, args);
        // The link appears only once the station answers.
        ASSERT_TRUE(WaitUntil([&] { return ::access(dir_.File("tty").c_str(), F_OK) == 0; }, 5s));
        ASSERT_TRUE(line_.Open(dir_.File("tty")));
        line_.SetSpeed(B19200);
    }

    // Everything up to and including the banner that ends a restart.
    std::string WaitForBanner() {
        std::string in;
        const auto start = std::chrono::steady_clock::now();
        while (in.find("READY") == std::string::npos &&
               std::chrono::steady_clock::now() - start < 3s) {
            const Bytes more = line_.ReadUntilQuiet(100ms);
            in.append(more.begin(), more.end());
        }
        return in;
    }

    TempDir dir_;
    std::unique_ptr<SimProcess> sim_;
    SerialClient line_;
};

TEST_F(SerialStation, answers_the_speed_probe_only_at_its_own_speed) {
    Start({});
    const struct {
        speed_t speed;
        const char* probe;
        const char* answer;
    } probes[] = {
        {B4800, "at&l4800\r\n", ""},
        {B9600, "at&l9600\r\n", ""},
        {B38400, "at&l38400\r\n", ""},
        {B19200, "at&l19200\r\n", "OK\r\n"},
    };
    for (const auto& p : probes) {
        line_.SetSpeed(p.speed);
        EXPECT_EQ(line_.Exchange(p.probe), p.answer) << p.probe;
    }
    // What is sent at a foreign speed is not heard at all: the session was not opened.
    line_.SetSpeed(B9600);
    EXPECT_EQ(line_.Exchange("AT#999=1/admin\r\n"), "");
    line_.SetSpeed(B19200);
    EXPECT_EQ(line_.Exchange("ATESSID=\"x\"\r\n"), "ERROR\r\n");
}

TEST_F(SerialStation, command_mode_answers_queries_and_guards_changes_with_the_session) {
    Start({"--station", "name=ser,link=serial,addr=00-60-B3-12-34-56,essid=lab,channel=6,"
                        "password=secret"});
    const struct {
        const char* command;
        const char* answer;
    } script[] = {
        {"AT\r\n", "OK\r\n"},
        {"ATi\r\n", "00-60-B3-12-34-56\r\n"},
        {"ATn\r\n", "Access Point\r\n"},
        {"ATESSID\r\n", "lab\r\n"},
        {"AT#c\r\n", "6\r\n"},
        {"ATdomain\r\n", "ETSI\r\n"},
        {"ATsa\r\n", "0\r\n"},
        {"ATsn\r\n", "0\r\n"},
        // Changes need a session.
        {"ATESSID=\"new\"\r\n", "ERROR\r\n"},
        {"ATs+001122334455\r\n", "ERROR\r\n"},
        {"AT&w\r\n", "ERROR\r\n"},
        {"AT#999=1/wrong\r\n", "ERROR\r\n"},
        {"ATn2\r\n", "ERROR\r\n"},
        {"AT#999=1/secret\r\n", "OK\r\n"},
        {"ATn2\r\n", "OK\r\n"},
        {"ATn\r\n", "IBss\r\n"},
        {"ATn4\r\n", "OK\r\n"},
        {"ATn\r\n", "Repeater\r\n"},
        {"ATESSID=\"new net\"\r\n", "OK\r\n"},
        {"ATESSID\r\n", "new net\r\n"},
        {"ATc=14\r\n", "ERROR\r\n"}, // not allowed in ETSI
        {"ATc=13\r\n", "OK\r\n"},
        {"AT#c\r\n", "13\r\n"},
        {"ATsa1\r\n", "OK\r\n"},
        {"ATsa\r\n", "1\r\n"},
        {"ATs+00a0b1c2d3e4\r\n", "OK\r\n"},
        {"ATs+001122334455\r\n", "OK\r\n"},
        {"ATs+001122334455\r\n", "ERROR\r\n"}, // already listed
        {"ATs+0011223344\r\n", "ERROR\r\n"},   // not an address
        {"ATsn\r\n", "2\r\n"},
        {"ATs\r\n", "00A0B1C2D3E4\r\n001122334455\r\n"},
        {"ATs-00A0B1C2D3E4\r\n", "OK\r\n"},
        {"ATs-00A0B1C2D3E4\r\n", "ERROR\r\n"},
        {"ATs\r\n", "001122334455\r\n"},
        {"AT#pwwrong/next\r\n", "ERROR\r\n"},
        {"AT#pwsecret/\r\n", "ERROR\r\n"}, // an empty password would lock everyone out
        {"AT#pwsecret/next\r\n", "OK\r\n"},
        {"AT#999=0\r\n", "OK\r\n"},
        {"ATsa0\r\n", "ERROR\r\n"},
        {"AT#999=1/secret\r\n", "ERROR\r\n"},
        {"AT#999=1/next\r\n", "OK\r\n"},
        {"ATbogus\r\n", "ERROR\r\n"},
        {"AT\r", "OK\r\n"}, // a carriage return alone ends a line too
        // No answer and no echo: an answer here would be taken for the next query's.
        {"+++\r\n", ""},
        {"+++", ""},
    };
    for (const auto& step : script)
        EXPECT_EQ(line_.Exchange(step.command), step.answer) << step.command;

    // The log shows each command as it came, in order, with its answer.
    const std::string log = sim_->LogText();
    const auto first = log.find("ser serial rx command \"ATn2\\r\\n\"");
    const auto answer = log.find("ser serial tx answer \"OK\\r\\n\"", first);
    const auto later = log.find("ser serial rx command \"ATn\\r\\n\"", first);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_LT(answer, later);
}

// Our own SLIP, so the simulator's is not checked against itself.
Bytes Slip(const Bytes& frame) {
    Bytes out{0xC0};
    for (const std::uint8_t b : frame) {
        if (b == 0xC0)
            out.insert(out.end(), {0xDB, 0xDC});
        else if (b == 0xDB)
            out.insert(out.end(), {0xDB, 0xDD});
        else
            out.push_back(b);
    }
    out.push_back(0xC0);
    return out;
}

Bytes Unslip(const Bytes& raw) {
    Bytes out;
    bool escaped = false;
    for (std::size_t i = 1; i + 1 < raw.size(); ++i) {
        const std::uint8_t b = raw[i];
        if (escaped)
            out.push_back(b == 0xDC ? 0xC0 : b == 0xDD ? 0xDB : b);
        else if (b != 0xDB)
            out.push_back(b);
        escaped = !escaped && b == 0xDB;
    }
    return out;
}

TEST_F(SerialStation, data_mode_answers_the_identity_request_in_escaped_slip_frames) {
    // Addresses full of END and ESC bytes, so that both directions need escapes.
    Start({"--station", "name=ser,link=serial,mac=C0-DB-01-02-03-04,addr=DB-C0-C0-DB-05-06,"
                        "manufacturer=Acme,product=Bridge 11,model=B-11,version=0x02.0x13"});
    EXPECT_EQ(line_.Exchange("ATO\r\n"), "");
    EXPECT_EQ(line_.Exchange("AT\r\n"), ""); // data mode takes no commands

    const Bytes from{0x02, 0xC0, 0xDB, 0x00, 0x00, 0x01};
    Bytes request{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    request.insert(request.end(), from.begin(), from.end());
    request.insert(request.end(), {0xAA, 0xAA, 0x56, 0xF5, 0x00, 0x00});
    line_.Write(Slip(request));
    const Bytes raw = line_.ReadUntilQuiet();

    ASSERT_GE(raw.size(), 2u);
    EXPECT_EQ(raw.front(), 0xC0);
    EXPECT_EQ(raw.back(), 0xC0);
    EXPECT_EQ(std::count(raw.begin(), raw.end(), 0xC0), 2) << "END inside the frame unescaped";
    const Bytes reply = Unslip(raw);
    ASSERT_EQ(reply.size(), 171u);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 6), from); // to the request's source
    EXPECT_EQ(Bytes(reply.begin() + 6, reply.begin() + 18),
              (Bytes{0xC0, 0xDB, 0x01, 0x02, 0x03, 0x04, 0xAA, 0xAA, 0x56, 0xF5, 0x01, 0x00}));
    EXPECT_EQ(Bytes(reply.begin() + 18, reply.begin() + 24),
              (Bytes{0xDB, 0xC0, 0xC0, 0xDB, 0x05, 0x06}));
    EXPECT_STREQ(reinterpret_cast<const char*>(&reply[24]), "Acme");
    EXPECT_STREQ(reinterpret_cast<const char*>(&reply[88]), "Bridge 11");
    EXPECT_STREQ(reinterpret_cast<const char*>(&reply[152]), "B-11");
    EXPECT_EQ(reply[168], 0x02);
    EXPECT_EQ(reply[169], 0x13);

    // "+++" without a line end returns to command mode, unanswered.
    EXPECT_EQ(line_.Exchange("+++"), "");
    EXPECT_EQ(line_.Exchange("AT\r\n"), "OK\r\n");
}

TEST_F(SerialStation, restart_keeps_only_stored_settings_and_announces_itself) {
    Start({"--station", "name=ser,link=serial,restart-ms=400,essid=before"});
    EXPECT_EQ(line_.Exchange("AT#999=1/admin\r\n"), "OK\r\n");
    EXPECT_EQ(line_.Exchange("ATESSID=\"unstored\"\r\n"), "OK\r\n");

    // Silent while restarting (longer than one quiet read), then the banner.
    const auto start = std::chrono::steady_clock::now();
    line_.Write("ATz\r\n");
    EXPECT_EQ(WaitForBanner(), "\r\nREADY\r\n");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 350ms);

    EXPECT_EQ(line_.Exchange("ATESSID\r\n"), "before\r\n");
    EXPECT_EQ(line_.Exchange("ATESSID=\"x\"\r\n"), "ERROR\r\n"); // the restart ended the session

    EXPECT_EQ(line_.Exchange("AT#999=1/admin\r\n"), "OK\r\n");
    EXPECT_EQ(line_.Exchange("ATESSID=\"stored\"\r\n"), "OK\r\n");
    line_.Write("AT&w\r\n");
    EXPECT_EQ(WaitForBanner(), "OK\r\n\r\nREADY\r\n");
    EXPECT_EQ(line_.Exchange("ATESSID\r\n"), "stored\r\n");
}

TEST_F(SerialStation, line_pacing_gives_every_byte_its_line_time) {
    Start({"--serial-speed", "1200", "--line-pacing", "--station",
           "name=ser,link=serial,acl=001122334455+00A0B1C2D3E4+0060B3000001"});
    line_.SetSpeed(B1200);
    const auto start = std::chrono::steady_clock::now();
    line_.Write("ATs\r\n");
    Bytes answer;
    while (answer.size() < 42 && std::chrono::steady_clock::now() - start < 5s) {
        const Bytes more = line_.ReadUntilQuiet(50ms);
        answer.insert(answer.end(), more.begin(), more.end());
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(answer.size(), 42u);
    // 5 bytes in and 42 out at 120 bytes per second: at least 390 ms.
    EXPECT_GE(elapsed, 380ms);
}

} // namespace
} // namespace kestrel::test
