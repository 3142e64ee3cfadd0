// tarvik-count stopped while it writes -o FILE leaves FILE as it was and nothing beside it, with
// an unnamed temporary file (any signal) and with a named one (a filter refuses O_TMPFILE, as a
// file system without it does).
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QDir>

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstddef>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

void refuseUnnamedFiles()
{
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, O_TMPFILE & ~O_DIRECTORY, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(code)), code};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
        ::_exit(99);
}

// Whether the process has a file of `folder` open (the output, or the workbook's rows on their
// way) that has grown beyond 1 MiB.
bool writingInto(pid_t pid, const std::string& folder)
{
    for (int fd = 3; fd < 64; ++fd) {
        const std::string entry = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
        char link[PATH_MAX];
        const ssize_t n = ::readlink(entry.c_str(), link, sizeof link);
        struct stat st {};
        if (n > 0 && std::string(link, static_cast<size_t>(n)).rfind(folder + '/', 0) == 0
            && ::stat(entry.c_str(), &st) == 0 && st.st_size > (1 << 20))
            return true;
    }
    return false;
}

} // namespace

TEST(InterruptedOutput, NothingIsLeftBesideTheOutputAndTheStatusTellsTheSignal)
{
    tarvik::test::TempDir dir;
    const std::string ini = dir.write(QStringLiteral("Tarvik.ini"), "[Engin]\r\nLang_c=C_STYLE\r\n").toStdString();
    QByteArray list; // missing files: a long output, quickly
    for (int i = 0; i < 50000; ++i)
        list += "gone/" + QByteArray(240, 'x') + QByteArray::number(i) + ".c\n";
    const std::string files = dir.write(QStringLiteral("list.txt"), list).toStdString();
    const struct {
        const char* format;
        int signal;
        bool named;
    } cases[] = {{"csv", SIGINT, false}, {"csv", SIGTERM, false}, {"csv", SIGKILL, false},
                 {"xlsx", SIGINT, false}, {"csv", SIGINT, true},   {"xlsx", SIGTERM, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + strsignal(c.signal) + (c.named ? ", named" : ""));
        const QString out = dir.mkdir(QString::number(&c - cases)), name = QStringLiteral("old.") + QLatin1String(c.format);
        const std::string target = dir.write(QString::number(&c - cases) + u'/' + name, "old\n").toStdString();
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (c.named)
                refuseUnnamedFiles();
            ::execl(TARVIK_BINARY_DIR "/tarvik-count", "tarvik-count", "-s", ini.c_str(), "-j", "1", "-f", c.format,
                    "--files-from", files.c_str(), "-o", target.c_str(), static_cast<char*>(nullptr));
            ::_exit(98);
        }
        for (int wait = 0; wait < 30000 && !writingInto(pid, out.toStdString()); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ::kill(pid, c.signal);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        if (c.signal == SIGKILL)
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        else
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + c.signal) << status;
        EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot), QStringList{name});
        EXPECT_EQ(dir.read(QString::number(&c - cases) + u'/' + name), "old\n");
    }
}
