// kestrowctl --json: one JSON document on stdout for each command, success or failure.
#include <QtTest>

#include "tests/cli/CliTestSupport.h"
#include "tests/firmware/FirmwareTestSupport.h"

using namespace kestrow;
using namespace kestrow::test;
using sim::BoxConfig;

class TestKestrowctlJson : public CliTest {
    Q_OBJECT

  private slots:
    void initTestCase() { Start(); }
    void cleanup() { boxes_.clear(); }

    // --json: one JSON document on stdout, its fields given as "path=JSON" (the value there),
    // "path~text" (a text holding it), "path#=N" (an array of N), or "path exists" (there, and
    // neither null nor an empty text); a path's parts split at '.' (array indices as numbers).
    // A failure gives "error" and "exit" too.
    void json_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("port");  // "none": no --port
        QTest::addColumn<BoxConfig>("box");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("fields");  // split at '|'
        QTest::addColumn<QString>("memory");  // the box's settings before: "1.1=0 2.8=200"
        BoxConfig silent;
        silent.silent = true;
        BoxConfig newer;
        newer.newerModel = 1;
        const auto row = [](const char* tag, const char* command, const char* port,
                            const BoxConfig& box, int code, const char* fields,
                            const char* memory = "") {
            QTest::newRow(tag) << QString(command) << QString(port) << box << code
                               << QString(fields) << QString(memory);
        };
        row("set", "set contrast 140 --json", "", {}, 0,
            "name=\"contrast\"|group=2|item=1|raw=140|value=140|port.name=\"COM 210\"");
        row("set an offset value", "set h-shift -12 --json", "", {}, 0, "raw=88|value=-12");
        row("set a choice", "set output-resolution 1280x1024p60 --json", "", {}, 0,
            "raw=24|value=\"1280x1024p60\"");
        row("set raw", "set 2.1 7 --json", "", {}, 0, "group=2|item=1|raw=7");
        row("reset", "reset --yes --json", "", newer, 0, "group=4|item=5|raw=1");
        row("load", "load SETTINGS --json", "", {}, 0,
            "written.contrast=77|readBack.contrast=77|readBack.h-shift=0|differ#=0|file~.json");
        row("flash", "flash FIRMWARE --json", "", Loader(), 0,
            "outcome=\"Firmware Updated!\"|fileBytes=3013|programBytes=3000");
        row("status", "status --json", "", newer, 0, "versionText=\"V1.23.456\"|newerModel=true");
        // A byte no dialog shows: no value, and a note of what it is (VGA out, older model).
        row("status: bytes without a shown value", "status --json", "", {}, 0,
            "values.0.name=\"output-resolution\"|values.0.value=null|"
            "values.0.note=\"code 0 (SD(480i)60, not in this output port's list)\"|"
            "values.20.name=\"system-setting-a\"|values.20.value=null|"
            "values.20.note=\"code 1 (no dialog shows this System item)\"",
            "1.1=0");
        row("settings: every list by port", "settings --json", "none", {}, 0,
            "0.name=\"output-resolution\"|0.choicesByOutputPort#=6|"
            "0.choicesByOutputPort.5.port=\"VGA\"|0.choicesByOutputPort.5.choices#=22|"
            "1.choicesByOutputPort.0.choices#=3|19.name=\"clock-mode\"|"
            "19.choicesByInputPort.3.port=\"HDMI\"|"
            "19.choicesByInputPort.3.choices.1=\"Lock To HDMI\"|5.minimum=0|5.maximum=255");
        row("settings: this box's lists", "settings --json", "", {}, 0,
            "0.choices#=22|0.choices.1=\"HD(1080p)60\"|19.choices#=3|19.offered=false|"
            "4.offered=true|3.offered=false");
        row("get: unknown setting", "get brightnes --json", "", {}, 2,
            "error~unknown setting \"brightnes\"");
        row("get: a silent box", "get contrast --json", "", silent, 4,
            "error~the box on COM 210 does not answer");
        row("detect: no box answers", "detect --json", "none", silent, 4,
            "error=\"no box answers the probe\"|ports.0.state exists");
        row("load: refused", "load BROKEN --json", "", {}, 5,
            "error~refused; nothing was written|faults.0~contrast: 256 is out of range");
        // A byte that is no UTF-8 is quoted as \xFF: the JSON stays JSON.
        row("load: a name that is no UTF-8", "load NOUTF8 --json", "", {}, 5,
            "faults.0~ill-formed UTF-8 byte; last read: '\"\\xFF'");
        row("flash: a silent box", "flash FIRMWARE --json", "", silent, 4,
            "outcome~Failed,check your device version!|error~check your device version");
        row("watch: interval too short", "watch --interval 0.05 --json", "", {}, 2,
            "error~--interval: 0.05 is not a number of seconds from 0.1 to 86400");
        row("a command line CLI11 refuses", "set --json", "none", {}, 2, "error~name is required");
    }
    void json() {
        QFETCH(QString, command);
        QFETCH(QString, port);
        QFETCH(BoxConfig, box);
        sim::BoxSim& b = AddBox(box);
        QFETCH(QString, memory);
        for (const QString& cell : memory.split(' ', Qt::SkipEmptyParts)) {
            const QStringList at = cell.split(QRegularExpression("[.=]"));
            b.SetSetting(uint8_t(at[0].toUInt()), uint8_t(at[1].toUInt()), uint8_t(at[2].toUInt()));
        }
        command
            .replace("SETTINGS",
                     WriteFile("json.json",
                               QString(kSettingsFile).arg(0).arg(R"({"contrast": 77})").toUtf8()))
            .replace("BROKEN",
                     WriteFile("broken.json",
                               QString(kSettingsFile).arg(0).arg(R"({"contrast": 256})").toUtf8()))
            .replace("NOUTF8", WriteFile("noutf8.json", QString(kSettingsFile)
                                                            .arg(0)
                                                            .arg(R"({"contrast": 1, "KEY": 2})")
                                                            .toUtf8()
                                                            .replace("KEY", "\xff")))
            .replace("FIRMWARE", WriteFile("json.bin", test::Image('4', test::Program(3000))));
        const Run run = Ctl(command, port == "none" ? QString() : QString::number(kCom));
        QTEST(run.code, "code");
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(run.out.toUtf8(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(run.out));
        QJsonValue root = doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
        QFETCH(QString, fields);
        if (run.code != 0) {
            fields += QString("|exit=%1|error exists").arg(run.code);
            QVERIFY(!run.err.isEmpty());
        }
        const QRegularExpression form(R"(^([\w.-]+)(#=|=|~| exists$)(.*)$)");
        for (const QString& field : fields.split('|')) {
            const QRegularExpressionMatch m = form.match(field);
            QVERIFY2(m.hasMatch(), qPrintable("not a field check: " + field));
            const QString how = m.captured(2);
            const QString want = m.captured(3);
            // A check that holds for any value is a fault of the row, not a pass.
            QVERIFY2(how != "~" || !want.isEmpty(),
                     qPrintable(field + ": every text holds an empty one; \"" + m.captured(1) +
                                " exists\" asks for the field"));
            QJsonValue v = root;
            for (const QString& part : m.captured(1).split('.')) {
                bool index = false;
                const int n = part.toInt(&index);
                v = index ? v[n] : v[part];
            }
            if (how == " exists") {
                QVERIFY2(!v.isUndefined() && !v.isNull() && v != QJsonValue(""),
                         qPrintable(field + " in " + run.out));
            } else if (how == "#=") {
                QVERIFY2(v.isArray(), qPrintable(field + " in " + run.out));
                QCOMPARE(v.toArray().size(), want.toInt());
            } else if (how == "~") {
                QVERIFY2(v.isString() && v.toString().contains(want), qPrintable(field));
            } else {
                QJsonParseError bad{};
                const QJsonArray expected =
                    QJsonDocument::fromJson(("[" + want + "]").toUtf8(), &bad).array();
                QVERIFY2(bad.error == QJsonParseError::NoError && expected.size() == 1,
                         qPrintable(field + ": not one JSON value"));
                QVERIFY2(v == expected[0], qPrintable(field + " in " + run.out));
            }
        }
        if (command.startsWith("set contrast 140")) {
            QVERIFY(b.WaitForQuiet(3000));
            QCOMPARE(int(b.setting(2, 1)), 140);
        }
    }
};

QTEST_GUILESS_MAIN(TestKestrowctlJson)
#include "test_kestrowctl_json.moc"
