#include "emulator/ptyserver.h"

#include "emulator/emulatedreader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

void closeDescriptor(int &descriptor)
{
    if (descriptor >= 0)
        ::close(descriptor);
    descriptor = -1;
}

} // namespace

PtyServer::PtyServer(EmulatedReader &reader) : m_reader(reader) {}

PtyServer::~PtyServer()
{
    closeDescriptor(m_client);
    closeDescriptor(m_master);
}

bool PtyServer::open()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0)
        return fail("posix_openpt");
    if (::grantpt(m_master) != 0)
        return fail("grantpt");
    if (::unlockpt(m_master) != 0)
        return fail("unlockpt");
    std::array<char, 128> name{};
    if (::ptsname_r(m_master, name.data(), name.size()) != 0)
        return fail("ptsname_r");
    m_clientPath = QString::fromLocal8Bit(name.data());
    // Holding the far side open keeps the terminal alive while no client has it open: reads
    // then simply find nothing instead of failing with EIO.
    m_client = ::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_client < 0)
        return fail("open");
    return makeRaw();
}

bool PtyServer::serve(int stopDescriptor)
{
    for (;;) {
        std::array<pollfd, 2> watched{pollfd{m_master, POLLIN, 0},
                                      pollfd{stopDescriptor, POLLIN, 0}};
        const std::optional<timespec> timeout = timeUntilNextReplyByte();
        if (::ppoll(watched.data(), watched.size(), timeout ? &*timeout : nullptr, nullptr) < 0) {
            if (errno == EINTR)
                continue;
            return fail("ppoll");
        }
        if (watched[1].revents != 0)
            return true;
        if (watched[0].revents & POLLIN)
            takeRequests();
        else if (watched[0].revents & (POLLHUP | POLLERR | POLLNVAL))
            return fail("the terminal hung up");
        sendArrivedReplies();
    }
}

bool PtyServer::fail(const char *what)
{
    m_errorText = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                               QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

bool PtyServer::makeRaw()
{
    termios settings{};
    if (::tcgetattr(m_master, &settings) != 0)
        return fail("tcgetattr");
    // No byte may be translated, echoed or taken as a control character.
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    if (::tcsetattr(m_master, TCSANOW, &settings) != 0)
        return fail("tcsetattr");
    return true;
}

void PtyServer::takeRequests()
{
    std::array<char, 256> bytes{};
    const ssize_t got = ::read(m_master, bytes.data(), bytes.size());
    if (got <= 0)
        return; // EAGAIN, or EIO while no client holds the terminal: nothing to take
    const qint64 arrival = nowTicks();
    for (ssize_t i = 0; i < got; ++i) {
        const std::optional<ReaderAnswer> answer = m_reader.receiveByte(bytes[i]);
        if (!answer || answer->bytes.isEmpty())
            continue;
        const int delayMs = answer->late ? m_reader.lateDelayMs() : m_answerDelayMs;
        m_replies.send(answer->bytes, arrival + BytePacer::ticksFromMilliseconds(delayMs));
    }
}

void PtyServer::sendArrivedReplies()
{
    const QByteArray due = m_replies.takeArrived(nowTicks(), std::numeric_limits<qsizetype>::max());
    if (due.isEmpty())
        return;
    // The line has no flow control: what the client's side cannot take any more is lost, as
    // it would be on a real line.
    if (::write(m_master, due.constData(), size_t(due.size())) < 0 && errno != EAGAIN)
        qWarning("vorn-emulator: write to the terminal failed: %s", std::strerror(errno));
}

std::optional<timespec> PtyServer::timeUntilNextReplyByte() const
{
    const std::optional<qint64> next = m_replies.nextArrival();
    if (!next)
        return std::nullopt;
    // Rounded up and a microsecond more, so that the byte is due on the clock's microsecond
    // count when the sleep ends and the loop does not wake up early over and over.
    const qint64 ticks = std::max<qint64>(0, *next - nowTicks());
    const qint64 nanoseconds =
        (ticks * 1000 + BytePacer::TicksPerMicrosecond - 1) / BytePacer::TicksPerMicrosecond + 1000;
    return timespec{time_t(nanoseconds / 1'000'000'000), long(nanoseconds % 1'000'000'000)};
}

qint64 PtyServer::nowTicks() const
{
    return BytePacer::ticksFromMicroseconds(m_clock.elapsedMicroseconds());
}
