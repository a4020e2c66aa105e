// kestrowctl run as a script runs it, against simulated boxes linked into a private ports
// directory ($XDG_RUNTIME_DIR/kestrow/ports): what a run is given and what it gives back, the
// boxes, and the files the commands are handed.
#pragma once

#include <grp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sim/BoxSim.h"
#include "sim/PtyLine.h"
#include "tests/common/TestBox.h"
#include "tests/firmware/FirmwareTestSupport.h"

Q_DECLARE_METATYPE(kestrow::sim::BoxConfig)

namespace kestrow::test {

inline constexpr int kCom = 210;  // the first box's number; others follow
// The probe and the model question (4,4) that every named get and set starts with.
inline const QByteArray kIdentify = "056c9305f7076c93010404f1";
// A settings file for model byte `model` of an older model, with the settings `settings`.
inline QByteArray SettingsFile(int model, const QString& settings) {
    return QString(R"({"format": "kestrow-settings", "version": 1, "model": %1, )"
                   R"("newerModel": false, "settings": %2})")
        .arg(QString::number(model), settings)
        .toUtf8();
}

// The whole of the file at `path`; empty when it cannot be read.
inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Run {
    int code = -1;
    QString out;
    QString err;
    qint64 ms = 0;  // from start to end
};

// How a run is set up beyond its command line (every member initialized, for designated
// initializers).
struct How {
    // A bash line around the run, CMD standing for kestrowctl with its arguments
    // ("CMD | head -1", "ulimit -f 0; CMD"); the code is still kestrowctl's.
    QString shell{};
    bool tty = false;     // stdin is a terminal
    bool nobody = false;  // runs as user and group 65534, without other groups (as root)
    // "NAME=value" added to the environment. KESTROW_PORT is not kept, and the network ports
    // file is none unless KESTROW_NETWORK_PORTS is given here.
    QStringList env{};
    // In order: once stdout holds a step's text (after the previous step's), its action runs.
    QList<std::pair<QString, std::function<void(QProcess&)>>> steps{};
};

// A step's action: `signal` sent to kestrowctl.
inline std::function<void(QProcess&)> Send(int signal) {
    return [signal](QProcess& p) { ::kill(static_cast<pid_t>(p.processId()), signal); };
}

// A box in its boot loader.
inline const sim::BoxConfig kLoader{.startInBootLoader = true};

// `config` whose line closes for good when its frame number `frame` (from 0) arrives.
inline sim::BoxConfig GoneAt(int frame, sim::BoxConfig config = {}) {
    return WithFaults(QString("--fault close@%1 --back-after -1").arg(frame), config);
}

// Sets bytes of the box's memory: "1.1=0 2.8=200" (group.item=byte).
inline void SetMemory(sim::BoxSim& box, const QString& cells) {
    for (const QString& cell : cells.split(' ', Qt::SkipEmptyParts)) {
        const QStringList at = cell.split(QRegularExpression("[.=]"));
        box.SetSetting(uint8_t(at[0].toUInt()), uint8_t(at[1].toUInt()), uint8_t(at[2].toUInt()));
    }
}

// `path` gets `mode`, and owner root and group dialout (which a change of owner needs root for).
inline bool GiveToDialout(const char* path, mode_t mode) {
    const group* dialout = ::getgrnam("dialout");
    return ::chmod(path, mode) == 0 && dialout && ::lchown(path, 0, dialout->gr_gid) == 0;
}

// Whether `text` holds each of `parts`, split at '|'.
inline bool HoldsAll(const QString& text, const QString& parts) {
    const QStringList each = parts.split('|', Qt::SkipEmptyParts);
    return std::all_of(each.begin(), each.end(),
                       [&](const QString& p) { return text.contains(p); });
}

// The fixture of the kestrowctl tests: a private runtime folder, the boxes of the test linked
// as COM 210, COM 211, ... and kestrowctl run against them. A test class clears boxes_ in its
// cleanup().
class CliTest : public QObject {
  protected:
    QTemporaryDir root_;
    std::vector<std::unique_ptr<sim::BoxSim>> boxes_;

    CliTest() {
        if (!root_.isValid() || !QDir().mkpath(PortsDir())) {
            qFatal("no runtime folder");
        }
    }
    [[nodiscard]] QString PortsDir() const { return root_.path() + "/kestrow/ports"; }

    sim::BoxSim& AddBox(const sim::BoxConfig& config = {}) {
        auto box = sim::BoxSim::Start(config);
        if (!box || !box->LinkAs(PortsDir().toStdString(), kCom + int(boxes_.size()))) {
            qFatal("no simulated box");
        }
        boxes_.push_back(std::move(box));
        return *boxes_.back();
    }
    QString WriteFile(const QString& name, const QByteArray& content) {
        QFile f(root_.filePath(name));
        QFile::remove(f.fileName());
        if (!content.isEmpty() && (!f.open(QIODevice::WriteOnly) || f.write(content) < 0)) {
            qFatal("cannot write %s", qPrintable(f.fileName()));
        }
        return f.fileName();
    }

    // Runs kestrowctl with `command` and --port `port` (none when empty).
    Run Ctl(const QString& command, const QString& port = QString::number(kCom),
            const How& how = {}) {
        QStringList args = QProcess::splitCommand(command);
        if (!port.isEmpty()) {
            args << "--port" << (port == "\"\"" ? QString() : port);  // "" as the shell passes it
        }
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("KESTROW_PORT");
        for (const QString& e : QStringList{"XDG_RUNTIME_DIR=" + root_.path(),
                                            "KESTROW_NETWORK_PORTS=" + root_.filePath("none")} +
                                    how.env) {
            env.insert(e.section('=', 0, 0), e.section('=', 1));
        }
        p.setProcessEnvironment(env);
        const std::optional<sim::PtyLine> tty = how.tty ? sim::PtyLine::Open() : std::nullopt;
        if (how.tty && !tty) {
            qFatal("no pseudo-terminal");
        }
        p.setChildProcessModifier([slave = tty ? tty->slave.get() : -1, nobody = how.nobody] {
            if (slave >= 0) {
                ::dup2(slave, STDIN_FILENO);
            }
            if (nobody &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
                ::_exit(99);
            }
        });
        QElapsedTimer started;
        started.start();
        if (how.shell.isEmpty()) {
            p.start(KESTROWCTL, args);
        } else {
            const QString line = QString(how.shell).replace("CMD", "\"$0\" \"$@\"");
            p.start("bash", QStringList{"-c", line + "; exit ${PIPESTATUS[0]}", KESTROWCTL} + args);
        }
        p.closeWriteChannel();
        QByteArray out;
        qsizetype seen = 0;
        for (const auto& [text, action] : how.steps) {
            while (p.state() != QProcess::NotRunning && out.indexOf(text.toUtf8(), seen) < 0) {
                p.waitForReadyRead(100);
                out += p.readAllStandardOutput();
            }
            if (out.indexOf(text.toUtf8(), seen) >= 0) {
                seen = out.indexOf(text.toUtf8(), seen) + text.toUtf8().size();
                action(p);
            }
        }
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
        }
        out += p.readAllStandardOutput();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(out),
                QString::fromUtf8(p.readAllStandardError()), started.elapsed()};
    }
};

}  // namespace kestrow::test
