// What surrounds kestrowctl's commands: --help against the documentation, the bash
// completion, and doctor on a made-up machine.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtTest>
#include <filesystem>

#include "tests/cli/CliTestSupport.h"
#include "tests/common/TestBox.h"

using namespace kestrow;
using namespace kestrow::test;

class TestKestrowctlSetup : public CliTest {
    Q_OBJECT

  private slots:
    void cleanup() { boxes_.clear(); }

    // Every command and option "kestrowctl --help" lists is in the man page, the README and
    // each completion file.
    void helpAgreesWithDocs_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("man page") << "docs/man/kestrowctl.1";
        QTest::newRow("README") << "README.md";
        QTest::newRow("bash completion") << "src/cli/kestrowctl.bash";
        QTest::newRow("zsh completion") << "src/cli/_kestrowctl";
        QTest::newRow("fish completion") << "src/cli/kestrowctl.fish";
    }
    void helpAgreesWithDocs() {
        QFETCH(QString, file);
        QFile f(QString(KESTROW_SOURCE_DIR) + "/" + file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        // roff writes "\-" for a minus, fish "-l port -s p" for --port and -p.
        const QString text = QString::fromUtf8(f.readAll())
                                 .replace("\\-", "-")
                                 .replace(QRegularExpression(R"(-l (\w[\w-]*))"), "--\\1")
                                 .replace(QRegularExpression(R"(-s (\w)\b)"), "-\\1");
        const Run top = Ctl("--help", "");
        QCOMPARE(top.code, 0);
        const QString subcommands = top.out.section("Subcommands:", 1).section("\n\n", 0, 0);
        QStringList commands;
        for (const QString& line : subcommands.split('\n', Qt::SkipEmptyParts)) {
            commands << line.trimmed().section(' ', 0, 0);
        }
        QCOMPARE(commands.size(), 11);
        QStringList missing;
        int checked = 0;
        for (const QString& command : commands) {
            if (!text.contains(QRegularExpression("\\b" + command + "\\b"))) {
                missing << command;
            }
            const Run help = Ctl(command + " --help", "");
            const QRegularExpression option(R"(^\s+(?:(-\w),)?(--[\w-]+))");
            for (const QString& line : help.out.section("Options:", 1).split('\n')) {
                const QRegularExpressionMatch m = option.match(line);
                for (int k = 1; m.hasMatch() && k <= 2; ++k) {
                    const QString name = m.captured(k);
                    checked += name.isEmpty() ? 0 : 1;
                    if (!name.isEmpty() &&
                        !text.contains(QRegularExpression(name + "(?![\\w-])"))) {
                        missing << command + " " + name;
                    }
                }
            }
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(", ")));
        QVERIFY(checked > 60);  // -h and --help alone are 22
    }

    // The bash completion: commands, options, the choices a setting takes (any box's, or the
    // box's that --port names), the COM names detect finds.
    void bashCompletion_data() {
        QTest::addColumn<QString>("line");  // up to the cursor
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("command") << "kestrowctl wa" << QStringList{"watch"};
        QTest::newRow("option") << "kestrowctl set --a" << QStringList{"--all"};
        QTest::newRow("setting") << "kestrowctl set color-t" << QStringList{"color-tone"};
        QTest::newRow("choices") << "kestrowctl set color-tone "
                                 << QStringList{"Off", "Skin", "Green"};
        QTest::newRow("a choice with a blank")
            << "kestrowctl set auto-sleep 5" << QStringList{"5\\ min"};
        QTest::newRow("any box's lock entries")
            << "kestrowctl set clock-mode Lock\\ To\\ H" << QStringList{"Lock\\ To\\ HDMI"};
        QTest::newRow("the named box's list")
            << "kestrowctl set --port 210 clock-mode "
            << QStringList{"Free-Run", "Lock\\ To\\ HDMI", "FrameLock\\ B\\(Genlock\\)"};
        QTest::newRow("ports") << "kestrowctl get --port COM21" << QStringList{"COM210"};
    }
    void bashCompletion() {
        QFETCH(QString, line);
        AddBox();  // HDMI in, VGA out
        // The words as bash gives them to a completion: as typed, escapes kept.
        QStringList words = line.split(QRegularExpression(R"((?<!\\) )"));
        const qsizetype current = words.size() - 1;
        for (QString& word : words) {
            word = "'" + word + "'";
        }
        How how;  // completion asks kestrowctl for the ports
        how.env = QStringList{"PATH=" + QFileInfo(KESTROWCTL).path() + ":" + qgetenv("PATH")};
        how.shell = QString(
                        "source '%1/src/cli/kestrowctl.bash'; COMP_WORDS=(%2); COMP_CWORD=%3; "
                        "_kestrowctl; printf '%s\\n' \"${COMPREPLY[@]}\"")
                        .arg(KESTROW_SOURCE_DIR, words.join(' '))
                        .arg(current);
        const Run run = Ctl("", "", how);
        QCOMPARE(run.code, 0);
        QTEST(run.out.split('\n', Qt::SkipEmptyParts), "offered");
    }

    // doctor on a made-up machine (--root; MakeTree's entries), its devices of group dialout,
    // mode 0660. Each finding with its fix; exit 3 when there is something to fix.
    void doctor_data() {
        QTest::addColumn<QStringList>("machine");
        QTest::addColumn<bool>("nobody");  // run as a user outside group dialout
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("report");  // parts of stdout, split at '|'
        const QStringList adapter{
            "dev/ttyUSB0=",
            "sys/devices/usb1/1-1/idVendor=0403",
            "sys/devices/usb1/1-1/idProduct=6001",
            "sys/devices/usb1/1-1/1-1:1.0/ttyUSB0/",
            "sys/class/tty/ttyUSB0/device>sys/devices/usb1/1-1/1-1:1.0/ttyUSB0",
            "sys/class/tty/ttyUSB0/dev=188:0"};
        const QStringList modemManager = adapter + QStringList{"proc/77/comm=ModemManager"};
        const auto row = [](const char* tag, const QStringList& machine, bool nobody, int code,
                            const char* report) {
            QTest::newRow(tag) << machine << nobody << code << QString(report);
        };
        row("all well", adapter, false, 0,
            "COM 1 (|/dev/ttyUSB0): |/dev/ttyUSB0, group dialout, mode 0660, USB 0403:6001\n|"
            "nothing wrong found");
        row("not in the device's group", adapter, true, 3,
            "problem: COM 1 (|you may not open it; |/dev/ttyUSB0 belongs to group dialout, which "
            "you are not in\n    fix: sudo usermod -aG dialout $USER, then log out and in again");
        row("ModemManager may probe the adapter",
            modemManager + QStringList{"run/udev/data/c188:0=E:ID_VENDOR_ID=0403"}, false, 3,
            "ModemManager runs|problem: COM 1 (|ModemManager may probe it|fix: printf|"
            "ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\"|"
            "ENV{ID_MM_DEVICE_IGNORE}=\"1\"|sudo tee /etc/udev/rules.d/99-kestrow.rules");
        row("ModemManager leaves it alone",
            modemManager + QStringList{"run/udev/data/c188:0=E:ID_MM_DEVICE_IGNORE=1"}, false, 0,
            "ModemManager runs|nothing wrong found");
        row("brltty and no USB adapter", {"dev/ttyACM0=", "usr/lib/udev/rules.d/85-brltty.rules="},
            false, 3, "COM 65 (|problem: brltty is installed|fix: sudo apt-get remove brltty");
        row("a program holds the port",
            adapter + QStringList{"proc/55/comm=minicom", "proc/55/fd/3>dev/ttyUSB0"}, false, 3,
            "problem: COM 1 (|open in process 55 (minicom)|fix: close that program, or: kill 55");
        row("FTDI latency timer",
            adapter + QStringList{"sys/bus/usb-serial/devices/ttyUSB0/latency_timer=16"}, false, 0,
            "latency timer 16 ms|fix: to keep 1 ms: echo 1 | sudo tee |nothing wrong found");
        row("no port at all", {"dev/"}, false, 3, "problem: no serial port found");
    }
    void doctor() {
        QFETCH(QStringList, machine);
        QFETCH(bool, nobody);
        QTemporaryDir temp;
        const std::filesystem::path root = temp.path().toStdString();
        std::vector<std::string> entries;
        for (const QString& line : machine) {
            entries.push_back(line.toStdString());
        }
        test::MakeTree(root, entries);
        const group* dialout = ::getgrnam("dialout");
        QVERIFY(dialout);
        for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
            const bool device = e.path().parent_path() == root / "dev" && !e.is_directory();
            if (!e.is_symlink()) {
                QVERIFY(::chmod(e.path().c_str(), e.is_directory() ? 0755
                                                  : device         ? 0660
                                                                   : 0644) == 0);
            }
            QVERIFY(!device || ::lchown(e.path().c_str(), 0, dialout->gr_gid) == 0 ||
                    ::geteuid() != 0);
        }
        QVERIFY(::chmod(root.c_str(), 0755) == 0);
        if (nobody && ::geteuid() != 0) {
            QSKIP("changing the user needs root");
        }
        const Run run = Ctl("doctor --root " + temp.path(), "", {.nobody = nobody});
        QTEST(run.code, "code");
        QFETCH(QString, report);
        for (const QString& part : report.split('|')) {
            QVERIFY2(run.out.contains(part), qPrintable(run.out));
        }
        QCOMPARE(run.err.isEmpty(), run.code == 0);
    }
};

QTEST_GUILESS_MAIN(TestKestrowctlSetup)
#include "test_kestrowctl_setup.moc"
