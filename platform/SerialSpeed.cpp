// The only unit that speaks termios2: <asm/termbits.h> and <termios.h> cannot
// meet in one translation unit, and only termios2 with BOTHER takes a bit rate
// that has no B-constant.
#include "platform/SerialSpeed.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace kestrel {

namespace {

tcflag_t CharacterSize(int dataBits) {
    switch (dataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

// termios knows no 1.5 stop bits; a UART sends 1.5 when asked for two with
// five data bits, so both map to CSTOPB.
tcflag_t StopBitFlags(SerialStopBits stopBits) {
    return stopBits == SerialStopBits::One ? 0 : CSTOPB;
}

tcflag_t ParityFlags(SerialParity parity) {
    switch (parity) {
    case SerialParity::Odd:
        return PARENB | PARODD;
    case SerialParity::Even:
        return PARENB;
    case SerialParity::Mark:
        return PARENB | CMSPAR | PARODD;
    case SerialParity::Space:
        return PARENB | CMSPAR;
    default:
        return 0;
    }
}

int GetLine(int fd, termios2* tio) {
    int result;
    do {
        result = ::ioctl(fd, TCGETS2, tio);
    } while (result != 0 && errno == EINTR);
    return result;
}

} // namespace

bool ProgramSerialLine(int fd, const SerialLineSettings& settings) {
    termios2 tio{};
    if (GetLine(fd, &tio) != 0) return false;

    // Raw input: no break or parity marking, no stripping, no CR/NL mapping.
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                     IXANY | INPCK | IUCLC | IMAXBEL);
    if (settings.xonXoffFlow) tio.c_iflag |= IXON | IXOFF;
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);

    tio.c_cflag &=
        ~(CBAUD | (CBAUD << IBSHIFT) | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    tio.c_cflag |= CREAD | CLOCAL | HUPCL | CharacterSize(settings.dataBits) |
                   StopBitFlags(settings.stopBits) | ParityFlags(settings.parity);
    if (settings.rtsCtsFlow) tio.c_cflag |= CRTSCTS;
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(settings.bitRate);
    tio.c_ospeed = static_cast<speed_t>(settings.bitRate);

    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VSTART] = settings.xonChar;
    tio.c_cc[VSTOP] = settings.xoffChar;

    int result;
    do {
        result = ::ioctl(fd, TCSETS2, &tio);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

int SerialLineBitRate(int fd) {
    termios2 tio{};
    if (GetLine(fd, &tio) != 0) return -1;
    return static_cast<int>(tio.c_ospeed);
}

} // namespace kestrel
