// The service process under clients that come and go, floods of clients and
// a socket path that names someone's file.
#include "DialupFixture.h"
#include "rascomp/Rascomp32.h"

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <random>

using namespace vorn;
using namespace vorn::test;
using namespace std::chrono_literals;

namespace
{

// A raw client of the socket at `path`; -1 when it cannot connect.
int rawConnect(const QByteArray& path)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::min<std::size_t>(path.size(), sizeof address.sun_path - 1));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    timeval timeout { 2, 0 };
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return fd;
}

// Reads until `lines` line ends have come (or the peer closes); what was read.
QByteArray readLines(int fd, int lines)
{
    QByteArray text;
    char buffer[4096];
    while (text.count('\n') < lines) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        text.append(buffer, got);
    }
    return text;
}

class ServiceRobustnessTest : public DialupFixture
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        writePhonebook("[Quick]\nStepDelay=10\n\n[Busy Line]\nOutcomes=busy\nStepDelay=2\n");
    }
};

} // namespace

TEST_F(ServiceRobustnessTest, ClientsLeavingAtAnyMomentHarmNoOtherClient)
{
    ASSERT_TRUE(service.start());
    const auto holder = client();
    RasHandle held = 0;
    ASSERT_EQ(dialToEnd(*holder, QStringLiteral("Quick"), &held).last(), DialStep(ras::Connected, 0));

    // Groups of clients dial, and each leaves at its own moment: before its
    // answer, with it, or somewhere in the steps that follow.
    const QByteArray path = QFile::encodeName(socketPath());
    const QByteArray dial
        = R"({"id":1,"op":"dial","entry":"Busy Line","phonebook":")" + phonebookPath().toUtf8() + "\"}\n";
    std::mt19937 random(13);
    for (int round = 0; round < 20; ++round) {
        std::vector<int> clients;
        for (int i = 0; i < 20; ++i) {
            const int fd = rawConnect(path);
            ASSERT_GE(fd, 0) << "the service stopped taking clients";
            ASSERT_EQ(write(fd, dial.constData(), dial.size()), dial.size());
            clients.push_back(fd);
        }
        for (const int fd : clients) {
            if (random() % 2 == 0)
                readLines(fd, 2 + int(random() % 3)); // the connections, the answer, some steps
            usleep(random() % 3000);
            close(fd);
        }
    }
    ASSERT_EQ(service.process().state(), QProcess::Running);
    const auto seen = connectionsOf(*client());
    ASSERT_EQ(seen.size(), 1U);
    EXPECT_EQ(seen[0].hrasconn, held);
}

TEST_F(ServiceRobustnessTest, FloodPastTheFileLimitIsRefusedAndListeningGoesOn)
{
    service.process().setChildProcessModifier([] {
        // Room for 208 clients beside the service's reserve, so sanitizer builds have theirs too.
        const rlimit files { 256, 256 };
        setrlimit(RLIMIT_NOFILE, &files);
    });
    ASSERT_TRUE(service.start());
    const QByteArray path = QFile::encodeName(socketPath());
    std::vector<int> flood;
    int refused = 0;
    for (int i = 0; i < 300; ++i) {
        const int fd = rawConnect(path);
        ASSERT_GE(fd, 0);
        flood.push_back(fd);
        if (readLines(fd, 1).contains("too many clients"))
            ++refused;
    }
    EXPECT_GE(refused, 300 - 208);

    // While the flood holds on, a client is told why it is not served.
    {
        sim::SimRemoteAccess access(socketPath());
        std::uint32_t bytes = 0;
        std::uint32_t count = 0;
        EXPECT_EQ(access.enumConnections(nullptr, &bytes, &count), ras::ServiceUnavailable);
        char text[ras::MaxError + 1] = {};
        access.errorString(ras::ServiceUnavailable, text, ras::MaxError);
        EXPECT_TRUE(QByteArray(text).contains("too many clients")) << text;
    }
    for (const int fd : flood)
        close(fd);

    // Once it has passed, clients are served on the same socket again.
    EXPECT_TRUE(waitUntil(
        [&] {
            std::uint32_t bytes = 0;
            std::uint32_t count = 0;
            return client()->enumConnections(nullptr, &bytes, &count) == ras::Success;
        },
        5s));
    EXPECT_EQ(dialToEnd(*client(), QStringLiteral("Quick")).last(), DialStep(ras::Connected, 0));
    EXPECT_TRUE(QFile::exists(socketPath()));
    EXPECT_EQ(service.process().state(), QProcess::Running);
}

TEST_F(ServiceRobustnessTest, FileAtTheSocketPathIsKeptAndTheReasonReachesTheWizard)
{
    const QString notes = dir.filePath(QStringLiteral("notes.txt"));
    QFile file(notes);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("my notes\n");
    file.close();

    const auto result
        = runProgram(binPath(QStringLiteral("vorn-dialupd")), { QStringLiteral("--socket"), notes }, 10000);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(notes.toUtf8() + ": a file that is not a socket")) << result.err.constData();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "my notes\n");

    // A client that starts the service there passes on what the service said,
    // as the text of its error and so as the wizard's status.
    TRAS engine(nullptr, std::make_shared<sim::SimRemoteAccess>(notes));
    engine.EntryName = QStringLiteral("Quick");
    ASSERT_EQ(engine.Dial(), 0);
    ASSERT_TRUE(waitUntil([&] { return engine.QueryStatus() > 601; }, 10s));
    EXPECT_EQ(engine.LastError(), int(ras::ServiceUnavailable));
    EXPECT_EQ(engine.StatusText(),
        "The remote-access service could not be reached: cannot listen on " + notes
            + ": a file that is not a socket is there; it is left as it is.");
}
