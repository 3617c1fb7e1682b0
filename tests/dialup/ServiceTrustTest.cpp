// Clients and service refuse a socket that another local user could have set up.
#include "DialupFixture.h"

#include <QDir>

#include <unistd.h>

using namespace vorn;
using namespace vorn::test;
using namespace std::chrono_literals;

namespace
{

constexpr const char* OtherUser = "65534";

class ServiceTrustTest : public DialupFixture
{
protected:
    void SetUp() override
    {
        if (getuid() != 0)
            GTEST_SKIP() << "needs root to act as another user";
        ASSERT_TRUE(dir.isValid());
        // Another user may make folders here, as in the system's temporary folder.
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
    }

    // Runs `program` as the other user.
    static QStringList asOtherUser(const QStringList& program)
    {
        return QStringList { QStringLiteral("--reuid"), QLatin1StringView(OtherUser), QStringLiteral("--regid"),
            QLatin1StringView(OtherUser), QStringLiteral("--clear-groups") }
        + program;
    }

    // vorn-rasdial dialing with a password, in `environment`.
    RunResult dialWithPassword(const QProcessEnvironment& environment)
    {
        QProcess rasdial;
        rasdial.setProcessEnvironment(environment);
        rasdial.start(binPath(QStringLiteral("vorn-rasdial")),
            { QStringLiteral("Office"), QStringLiteral("alice"), QStringLiteral("s3cret-pw") });
        EXPECT_TRUE(rasdial.waitForFinished(15000));
        return RunResult { rasdial.exitCode(), rasdial.readAllStandardOutput(), rasdial.readAllStandardError() };
    }
};

} // namespace

TEST_F(ServiceTrustTest, FallbackFolderMadeByAnotherUserIsRefused)
{
    // Without a runtime folder the socket lives below the temporary folder,
    // where another user made our folder first.
    const QString own = dir.filePath(QStringLiteral("vorn95-%1").arg(getuid()));
    const auto made = runProgram(
        QStringLiteral("setpriv"), asOtherUser({ QStringLiteral("mkdir"), QStringLiteral("-p"), own + "/vorn95" }));
    ASSERT_EQ(made.exitCode, 0) << made.err.constData();

    auto env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.remove(QStringLiteral("VORN_DIALUP_SOCKET"));
    env.insert(QStringLiteral("TMPDIR"), dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    const auto result = dialWithPassword(env);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.contains("Remote access error 711 - The remote-access service could not be reached: "
        + own.toUtf8() + " is not a private folder of this user (it belongs to user 65534)."))
        << result.out.constData();
    // Nothing of ours went into the other user's folders.
    EXPECT_TRUE(QDir(own + "/vorn95").isEmpty());
}

TEST_F(ServiceTrustTest, ServiceOfAnotherUserGetsNothing)
{
    // A listener of the other user at the socket path records what reaches it.
    const QString path = socketPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::setPermissions(QFileInfo(path).absolutePath(), QFileDevice::Permissions(0x7777));
    QProcess fake;
    fake.start(QStringLiteral("setpriv"),
        asOtherUser({ QStringLiteral("/usr/bin/python3"), QStringLiteral("-c"),
            QStringLiteral("import socket, sys\n"
                           "s = socket.socket(socket.AF_UNIX)\n"
                           "s.bind(sys.argv[1]); s.listen(); s.settimeout(10)\n"
                           "c, _ = s.accept(); c.settimeout(2)\n"
                           "try:\n    print(c.recv(65536))\nexcept OSError:\n    print('nothing')\n"),
            path }));
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(path); }, 5s));

    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VORN_DIALUP_SOCKET"), path);
    const auto result = dialWithPassword(env);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.contains("the dial-up service at " + path.toUtf8() + " is run by another user (65534)"))
        << result.out.constData();
    ASSERT_TRUE(fake.waitForFinished(15000));
    const QByteArray received = fake.readAllStandardOutput();
    EXPECT_FALSE(received.contains("s3cret-pw")) << received.constData();
    EXPECT_TRUE(received == "b''\n" || received == "nothing\n") << received.constData();
}

TEST_F(ServiceTrustTest, ClientOfAnotherUserIsRefused)
{
    writePhonebook("[Quick]\n");
    ASSERT_TRUE(service.start());
    // Let the other user reach the socket, so only the service's own check stands in the way.
    for (const QString& path : { dir.filePath(QStringLiteral("run")), socketPath() })
        QFile::setPermissions(path, QFileDevice::Permissions(0x7777));
    const auto answer = runProgram(QStringLiteral("setpriv"),
        asOtherUser({ QStringLiteral("/usr/bin/python3"), QStringLiteral("-c"),
            QStringLiteral("import socket, sys\ns = socket.socket(socket.AF_UNIX); s.settimeout(5)\n"
                           "s.connect(sys.argv[1]); print(s.makefile('rb').read(512))\n"),
            socketPath() }));
    // Refused at once, before it could ask anything.
    EXPECT_TRUE(answer.out.contains("refused")) << answer.out.constData() << answer.err.constData();
}
