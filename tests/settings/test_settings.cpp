// The settings table's conversions and rules, one row each; a settings file saved from and
// loaded onto a simulated box, step by step; and the name tables and option lists, each by its
// length and a digest of every entry in order (a changed, missing or moved text shows without
// the texts being copied here).
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "settings/NameTables.h"
#include "settings/Settings.h"
#include "settings/SettingsFileRun.h"
#include "settings/WholeFile.h"
#include "tests/common/TestBox.h"

namespace {

using namespace kestrow;

// One conversion or rule of the settings table for a box, asked as the text `ask` and told as
// text:
//   number    "S" shown -> "byte B shows S'" (clamped to the label's range, offset added);
//             "byte B" -> the value shown for a stored byte
//   GenLock   "P:S" period P, shown S -> "register R shows S'"; "P@D" the delay D shown;
//             "P range" the trackbar's range
//   choice    "list" -> the codes sent, in list order ("sent/stored" where they differ);
//             "stored K" -> the entry the dialog selects; other text -> "sends X stores Y"
//   any       "available" -> yes or no; setting "" and "reset" -> the factory-reset item;
//             "unshown B" -> what a report says of a stored byte the dialog cannot show
QString Ask(const SettingInfo* s, const BoxFacts& box, const QString& ask) {
    if (s == nullptr) {
        return QString::number(FactoryResetItem(box));
    }
    if (ask == "available") {
        return Available(*s, box) ? "yes" : "no";
    }
    bool number = false;
    const int n = ask.section(' ', -1).toInt(&number);
    if (ask.startsWith("unshown ")) {
        return ShownValueFor(*s, box, uint8_t(n))
                   ? "shown"
                   : QString::fromStdString(UnshownByteText(*s, uint8_t(n)));
    }
    switch (s->kind) {
        case SettingKind::Number:
            if (ask.startsWith("byte ")) {
                return QString::number(ShownValue(*s, uint8_t(n)));
            } else {
                const uint8_t byte = ByteForShown(*s, n);
                return QString("byte %1 shows %2").arg(byte).arg(ShownValue(*s, byte));
            }
        case SettingKind::Genlock: {
            const auto period = uint16_t(ask.section(QRegularExpression("[:@ ]"), 0, 0).toInt());
            if (ask.endsWith(" range")) {
                const GenlockRange r = GenlockRangeFor(period);
                return QString("%1..%2").arg(r.minimum).arg(r.maximum);
            }
            if (ask.contains('@')) {
                return QString::number(GenlockShown(uint16_t(ask.section('@', 1).toInt()), period));
            }
            const uint16_t reg = GenlockRegisterFor(ask.section(':', 1).toInt(), period);
            return QString("register %1 shows %2").arg(reg).arg(GenlockShown(reg, period));
        }
        case SettingKind::Choice: {
            const std::vector<Choice> list = ChoicesFor(*s, box);
            if (ask == "list") {
                QStringList codes;
                for (const Choice& c : list) {
                    codes << (c.sent == c.stored ? QString::number(c.sent)
                                                 : QString("%1/%2").arg(c.sent).arg(c.stored));
                }
                return codes.join(' ');
            }
            if (ask.startsWith("stored ") && number) {
                const auto entry = SelectedChoice(*s, box, uint8_t(n));
                return entry ? QString::fromUtf8(list[size_t(*entry)].text.data(),
                                                 qsizetype(list[size_t(*entry)].text.size()))
                             : "none";
            }
            const auto entry = FindChoice(list, ask.toStdString());
            return entry ? QString("sends %1 stores %2")
                               .arg(list[size_t(*entry)].sent)
                               .arg(list[size_t(*entry)].stored)
                         : "none";
        }
    }
    return {};
}

struct Conversion {
    const char* tag;
    const char* setting;  // "": the factory reset
    BoxFacts box;
    const char* ask;
    const char* told;
};

constexpr BoxFacts kAny{};                   // numbers and fixed lists are the same on every box
constexpr BoxFacts kVgaOut{0x59, 0, false};  // HDMI in, VGA out
constexpr BoxFacts kComponentOut{0x50, 0, false};
constexpr BoxFacts kSdiOut{0x53, 0, false};
constexpr BoxFacts kDviOut{0x51, 0, false};
constexpr BoxFacts kHdmiFromVga{0x95, 0, false};
constexpr BoxFacts kModel1{0x39, 1, false};  // SDI in
constexpr BoxFacts kNewer{0x59, 2, true};
constexpr BoxFacts kNewerModel1{0x59, 1, true};

constexpr Conversion kConversions[] = {
    // Numbers: the label's range, the offset, the clamp.
    {"contrast 300 clamped", "contrast", {}, "300", "byte 255 shows 255"},
    {"contrast -1 clamped", "contrast", {}, "-1", "byte 0 shows 0"},
    {"sharpness 200 clamped", "sharpness", {}, "200", "byte 127 shows 127"},
    {"scan -50", "under-over-scan", {}, "-50", "byte 0 shows -50"},
    {"scan 80 clamped", "under-over-scan", {}, "80", "byte 100 shows 50"},
    {"h-shift -100", "h-shift", {}, "-100", "byte 0 shows -100"},
    {"h-shift 100", "h-shift", {}, "100", "byte 200 shows 100"},
    {"v-shift -7", "v-shift", {}, "-7", "byte 43 shows -7"},
    {"h-shift byte 44", "h-shift", {}, "byte 44", "-56"},
    {"scan byte 255 beyond", "under-over-scan", {}, "byte 255", "205"},
    // GenLock: signed around zero within the period, negative values wrap.
    {"genlock -1", "genlock-h", {}, "2200:-1", "register 2199 shows -1"},
    {"genlock 524", "genlock-v", {}, "1125:524", "register 524 shows 524"},
    {"genlock 5000 clamped", "genlock-h", {}, "2200:5000", "register 1100 shows 1100"},
    {"genlock -600 clamped, odd period", "genlock-v", {}, "1125:-600", "register 563 shows -562"},
    {"genlock half stays", "genlock-h", {}, "2200@1100", "1100"},
    {"genlock above half wraps", "genlock-h", {}, "2200@1101", "-1099"},
    {"genlock range, odd period", "genlock-v", {}, "1125 range", "-562..562"},
    {"genlock period 0", "genlock-h", {}, "0:7", "register 0 shows 0"},
    // Output resolution codes by output port.
    {"resolutions, VGA", "output-resolution", kVgaOut, "list",
     "4 12 18 19 20 21 22 23 24 25 26 27 28 29 30 31 32 33 34 35 36 37"},
    {"resolutions, Component", "output-resolution", kComponentOut, "list",
     "0 1 4 5 6 7 8 9 10 11 12 13 14 15 16 17 36"},
    {"resolutions, SDI: Bypass 36", "output-resolution", kSdiOut, "list",
     "0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 36"},
    {"resolution by short form", "output-resolution", kVgaOut, "1080P60", "sends 12 stores 12"},
    {"resolution VGA 22 selected", "output-resolution", kVgaOut, "stored 22", "1024x768p60"},
    {"resolution VGA 3 unknown", "output-resolution", kVgaOut, "stored 3", "none"},
    {"resolution Component 3 is Bypass", "output-resolution", kComponentOut, "stored 3", "Bypass"},
    {"resolution SDI 36 is Bypass", "output-resolution", kSdiOut, "stored 36", "Bypass"},
    {"resolution not offered", "output-resolution", kVgaOut, "480i60", "none"},
    // Colour spaces: what goes out and what is stored differ.
    {"colour spaces, VGA", "output-mode", kVgaOut, "list", "0 2/1"},
    {"colour spaces, SDI", "output-mode", kSdiOut, "list", "2/0"},
    {"colour spaces, DVI", "output-mode", kDviOut, "list", "0"},
    {"colour spaces, HDMI", "output-mode", kHdmiFromVga, "list", "0 1 2"},
    {"VGA YCbCr422 stored 1", "output-mode", kVgaOut, "stored 1", "YCbCr422"},
    {"DVI: RGB whatever the byte", "output-mode", kDviOut, "stored 2", "RGB"},
    {"fixed list beyond", "color-tone", {}, "stored 5", "none"},
    // What a report says of a byte the dialog cannot show: never a blank.
    {"unshown: a code the output port's list lacks", "output-resolution", kVgaOut, "unshown 0",
     "code 0 (SD(480i)60, not in this output port's list)"},
    {"unshown: a code no resolution has", "output-resolution", kVgaOut, "unshown 40",
     "code 40 (no output resolution has this code)"},
    {"unshown: a number beyond the label's range", "h-shift", kAny, "unshown 250",
     "byte 250 (shows as 150, outside -100 to 100)"},
    {"unshown: beyond a fixed list", "color-tone", kAny, "unshown 5",
     "code 5 (not in the dialog's list)"},
    {"unshown: a lock mode the input port lacks", "clock-mode", kModel1, "unshown 5",
     "code 5 (not in this input port's list)"},
    {"lock entry of the input port", "clock-mode", kModel1, "Lock To SDI", "sends 1 stores 1"},
    {"no lock entry for input 7", "clock-mode", {0x79, 1, false}, "list", "0 1"},
    // Which rows a box shows.
    {"audio source, HDMI from VGA", "audio-source", kHdmiFromVga, "available", "yes"},
    {"audio source, VGA out", "audio-source", kVgaOut, "available", "no"},
    {"EDID audio, HDMI in", "edid-audio-ch", kVgaOut, "available", "yes"},
    {"EDID audio, VGA in", "edid-audio-ch", kHdmiFromVga, "available", "no"},
    {"clock mode, model 1", "clock-mode", kModel1, "available", "yes"},
    {"clock mode, model 2", "clock-mode", kNewer, "available", "no"},
    {"auto-sleep, newer model", "auto-sleep", kNewer, "available", "yes"},
    {"auto-sleep, newer model 1", "auto-sleep", kNewerModel1, "available", "no"},
    {"auto-sleep, older model", "auto-sleep", kVgaOut, "available", "no"},
    // The factory reset's item.
    {"reset, older", "", kVgaOut, "reset", "4"},
    {"reset, newer", "", kNewer, "reset", "5"},
    {"reset, newer model 1", "", kNewerModel1, "reset", "4"},
};

// A settings-file run against a simulated box on COM 210, with the cache and facts a refresh
// of it would leave: `cells` ("1.1=24 2.8=200") set in an otherwise zero cache.
struct RunBox {
    RunBox(const sim::BoxConfig& config, const QString& cells)
        : sim(test::StartLinkedBox(ports, 210, config)), link(ports.Port(210)) {
        facts = {config.portByte, config.modelByte, config.newerModel != 0};
        Set(cells);
    }
    // Sets the cache's cells ("1.1=24 2.8=200").
    void Set(const QString& cells) {
        for (const QString& cell : cells.split(' ', Qt::SkipEmptyParts)) {
            const QStringList at = cell.split(QRegularExpression("[.=]"));
            *SettingByte(cache, uint8_t(at[0].toInt()), uint8_t(at[1].toInt())) =
                uint8_t(at[2].toInt());
        }
    }
    // "name=byte" for each setting of `cells` ("contrast=140 h-shift=88"), as the cache holds
    // it now.
    QString Cached(const QString& cells) const {
        QStringList out;
        for (const QString& cell : cells.split(' ', Qt::SkipEmptyParts)) {
            const QString name = cell.section('=', 0, 0);
            const SettingInfo* s = FindSetting(name.toStdString());
            if (s == nullptr) {
                return "no setting " + name;
            }
            const auto byte = CachedValue(cache, facts, *s);
            out << name + '=' + QString::number(byte.value_or(999));
        }
        return out.join(' ');
    }
    test::RecordingReporter reporter;  // a port gone is reported here, not shown
    test::PortsDir ports;
    std::unique_ptr<sim::BoxSim> sim;
    DeviceLink link;
    StatusCache cache;
    BoxFacts facts;
};

sim::BoxConfig ModelBox(int model, std::set<std::pair<uint8_t, uint8_t>> unanswered = {},
                        std::string version = "V1.23.456") {
    sim::BoxConfig config;  // HDMI in, VGA out
    config.modelByte = uint8_t(model);
    config.unanswered = std::move(unanswered);
    config.versionText = std::move(version);
    return config;
}

struct SaveRow {
    const char* tag;
    sim::BoxConfig box;
    const char* cells;  // the cache of the refresh before
    const char* path;   // "saved.json" in a folder that holds it already
    const char* end;    // saved, unanswered (a GenLock read), file (not written)
    size_t settings;
    const char* notes;  // '|' between them
    const char* reason;
};

const SaveRow kSaveRows[] = {
    {"saved whole", ModelBox(0), "1.1=24", "saved.json", "saved", 18, "", ""},
    {"a byte the dialog cannot show", ModelBox(0), "1.1=24 2.8=200", "saved.json", "saved", 17,
     "sharpness: the box holds 200, which the dialog cannot show; left out", ""},
    {"GenLock delays read now", ModelBox(1), "1.1=24", "saved.json", "saved", 21, "", ""},
    {"a GenLock reply lost", ModelBox(1, {{0x49, 3}}), "1.1=24", "saved.json", "unanswered", 0, "",
     ""},
    {"no such folder", ModelBox(0), "1.1=24", "missing/saved.json", "file", 18, "",
     "No such file or directory"},
    {"a version text that is no UTF-8", ModelBox(0, {}, "V1.\xff\xfe\x33.456"), "1.1=24",
     "saved.json", "saved", 18, "", ""},
};

struct LoadRow {
    const char* tag;
    sim::BoxConfig box;
    int fileModel;
    const char* settings;  // the file's
    const char* happens;   // "gone": the box went away before the load
    const char* refresh;   // "fails"; "G.I=B": the refresh reads that byte; "": what was written
    const char* end;       // how the load ended (End)
    const char* told;      // LoadedText
    int refreshes;         // how often the run asked for one
    const char* wire;      // the frames the box received, in hex
    const char* cached;    // the cache afterwards
    const char* detail;    // the faults or differences, '|' between them
};

constexpr const char* kTwo = R"({"contrast": 140, "h-shift": -12})";
constexpr const char* kTwoWrites = "086c930002018c6a086c930003055899";
constexpr const char* kGenlock =
    R"x({"clock-mode": "FrameLock B(Genlock)", "genlock-h": -10, "genlock-v": 5})x";

const LoadRow kLoadRows[] = {
    {"written and read back", ModelBox(0), 0, kTwo, "", "", "read back",
     "2 settings written and read back", 1, kTwoWrites, "contrast=140 h-shift=88", ""},
    {"one reads back different", ModelBox(0), 0, kTwo, "", "2.1=7", "differs",
     "2 settings written; 1 of them read back different", 1, kTwoWrites, "contrast=7 h-shift=88",
     "contrast: wrote 140, reads back 7"},
    {"the read-back unanswered: the writes stay in the cache", ModelBox(0), 0, kTwo, "", "fails",
     "read-back unanswered", "2 settings written", 1, kTwoWrites, "contrast=140 h-shift=88", ""},
    {"another model's file", ModelBox(0), 1, kTwo, "", "", "refused", "nothing was written", 0, "",
     "contrast=0 h-shift=0", "the file is for model byte 1, this box reports 0"},
    {"gone before the first write", ModelBox(0), 0, kTwo, "gone", "", "write failed",
     "0 of 2 settings written; contrast and those after it were not", 0, "", "contrast=0", ""},
    // The periods before the writes, the delays after the refresh.
    {"GenLock", ModelBox(1), 1, kGenlock, "", "", "read back", "3 settings written and read back",
     1,
     "066c934904ae066c934905ad086c9300040202f1086c934900088e1a086c9349010005aa"
     "066c934904ae066c934902b0066c934905ad066c934903af",
     "clock-mode=2", ""},
    {"a GenLock period unanswered", ModelBox(1, {{0x49, 5}}), 1, kGenlock, "", "",
     "periods unanswered", "nothing was written", 0, "066c934904ae066c934905ad", "clock-mode=0",
     ""},
};

// How a load ended, as the front ends tell it apart.
QString End(const SettingsLoad& load) {
    if (!load.planned) {
        return load.end.error().kind == ErrorKind::Invalid ? "refused" : "periods unanswered";
    }
    if (load.written < load.writes.size()) {
        return "write failed";
    }
    if (!load.end) {
        return "read-back unanswered";
    }
    return load.differ.empty() ? "read back" : "differs";
}

QString Joined(const std::vector<std::string>& lines) {
    QStringList out;
    for (const std::string& line : lines) {
        out << QString::fromStdString(line);
    }
    return out.join('|');
}

// FNV-1a over the entries, each followed by a line feed.
quint64 Digest(NameTable table) {
    quint64 hash = 14695981039346656037ull;
    for (const std::string_view entry : table) {
        for (const char c : std::string(entry) + "\n") {
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
    }
    return hash;
}

// The lists of the clock mode for every input port code, one after the other.
std::vector<std::string_view> AllLockLists() {
    std::vector<std::string_view> all;
    for (uint8_t port = 0; port < 16; ++port) {
        const std::vector<std::string_view> list = LockModeListByInput(port);
        all.insert(all.end(), list.begin(), list.end());
    }
    return all;
}

}  // namespace

Q_DECLARE_METATYPE(kestrow::NameTable)

class TestSettings : public QObject {
    Q_OBJECT
  private slots:
    void conversions_data() { test::RowsOf(kConversions); }
    void conversions() {
        QFETCH(int, row);
        const Conversion& c = kConversions[row];
        const SettingInfo* s = *c.setting != '\0' ? FindSetting(c.setting) : nullptr;
        QVERIFY(*c.setting == '\0' || s != nullptr);
        QCOMPARE(Ask(s, c.box, c.ask), QString(c.told));
    }

    // Save: what the run left in the file and told; the old file stays unless the new one is
    // whole.
    void saveRuns_data() { test::RowsOf(kSaveRows); }
    void saveRuns() {
        QFETCH(int, row);
        const SaveRow& r = kSaveRows[row];
        RunBox on(r.box, r.cells);
        QVERIFY(on.sim != nullptr);
        const QTemporaryDir dir;
        QFile file(dir.filePath("saved.json"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old\n") == 4);
        file.close();
        const std::string path = dir.filePath(r.path).toStdString();

        // The front ends' two steps: the file made from the box, then written whole.
        const Result<ComposedSettings> saved =
            ComposeSettingsFile({on.link, on.cache, on.facts}, "test 1");
        Result<void> written;
        if (saved) {
            written = ReplaceWholeFile(path, saved->text);
        }
        QCOMPARE(QString(!saved ? "unanswered" : !written ? "file" : "saved"), QString(r.end));
        QCOMPARE(saved ? saved->settings : 0, r.settings);
        QCOMPARE(Joined(saved ? saved->notes : std::vector<std::string>{}), QString(r.notes));
        QCOMPARE(QString::fromStdString(written ? "" : written.error().detail), QString(r.reason));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 saved && written ? QByteArray::fromStdString(saved->text) : "old\n");
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"saved.json"});
        if (saved) {
            const Json text = Json::parse(saved->text);
            QCOMPARE(text.at("program").get<std::string>(), std::string("test 1"));
            QCOMPARE(text.at("settings").size(), r.settings);
            // The box's nine characters, a byte that is no UTF-8 as U+FFFD; model 1's fixed text.
            QCOMPARE(QString::fromStdString(text.at("versionText").get<std::string>()),
                     r.box.modelByte == 1 ? QString("V1.001")
                                          : QString::fromUtf8(r.box.versionText.substr(0, 9)));
        }
    }

    // Load: the frames the box received (the GenLock periods, the writes, the GenLock reads
    // after the refresh), how often the run asked for a refresh, the cache afterwards, and the
    // words for what the box was left with.
    void loadRuns_data() { test::RowsOf(kLoadRows); }
    void loadRuns() {
        QFETCH(int, row);
        const LoadRow& r = kLoadRows[row];
        RunBox on(r.box, "");
        QVERIFY(on.sim != nullptr);
        const std::string text = R"({"format": "kestrow-settings", "version": 1, "model": )" +
                                 std::to_string(r.fileModel) +
                                 R"(, "newerModel": false, "settings": )" + r.settings + "}";
        const Result<Json> parsed = ParseSettingsFile(text);
        QVERIFY(parsed);
        if (QString(r.happens) == "gone") {
            on.sim->Vanish();
        }
        int refreshes = 0;
        const QString refresh = r.refresh;
        const auto reread = [&]() -> Result<void> {
            ++refreshes;
            if (refresh == "fails") {
                return Error{.kind = ErrorKind::NoAnswer};
            }
            on.Set(refresh);
            return {};
        };

        const SettingsLoad loaded =
            LoadSettingsFile({on.link, on.cache, on.facts}, *parsed, reread);
        QCOMPARE(End(loaded), QString(r.end));
        QCOMPARE(QString::fromStdString(LoadedText(loaded)), QString(r.told));
        QCOMPARE(refreshes, r.refreshes);
        QVERIFY(on.sim->WaitForQuiet(2000) || QString(r.happens) == "gone");
        QCOMPARE(test::WireHex(*on.sim), QByteArray(r.wire));
        QCOMPARE(on.Cached(r.cached), QString(r.cached));
        QCOMPARE(Joined(End(loaded) == "refused" ? DetailLines(loaded.end.error()) : loaded.differ),
                 QString(r.detail));
        QCOMPARE(loaded.readBack.values.empty(), !loaded.end.ok());
    }

    // A load stopped by a failed write names the first setting that did not go out (a box
    // that goes away between two writes cannot be timed from here).
    void writeFailedWords() {
        SettingsLoad stopped;
        stopped.planned = true;
        stopped.end = Error{.kind = ErrorKind::Gone};
        for (const char* name : {"contrast", "sharpness", "h-shift"}) {
            PlannedWrite write;
            write.setting = FindSetting(name);
            stopped.writes.push_back(write);
        }
        for (const auto& [written, told] :
             {std::pair{1, "1 of 3 settings written; sharpness and those after it were not"},
              std::pair{2, "2 of 3 settings written; h-shift and those after it were not"}}) {
            stopped.written = size_t(written);
            QCOMPARE(QString::fromStdString(LoadedText(stopped)), QString(told));
        }
    }

    void tables_data() {
        QTest::addColumn<NameTable>("table");
        QTest::addColumn<int>("entries");
        QTest::addColumn<quint64>("digest");
        static const std::vector<std::string_view> lockLists = AllLockLists();
        const auto row = [](const char* name, NameTable table, int entries, quint64 digest) {
            QTest::newRow(name) << table << entries << digest;
        };
        row("VideoPortNames", VideoPortNames, 11, 0xdd1a212cb955f13cull);
        row("OutputResolutionNames", OutputResolutionNames, 38, 0xc5351440a84b7717ull);
        row("InputTimingNames", InputTimingNames, 117, 0x3b797f69e79cb03dull);
        row("OutputResolutionListFull", OutputResolutionListFull, 38, 0xc5351440a84b7717ull);
        row("OutputResolutionListSdi", OutputResolutionListSdi, 19, 0xf77b4358b10737d7ull);
        row("OutputResolutionListVga", OutputResolutionListVga, 22, 0xdfa1209fad6b4f3dull);
        row("OutputResolutionListComponent", OutputResolutionListComponent, 17,
            0xbdc467e81c7f25acull);
        row("ColourSpaceList", ColourSpaceList, 3, 0x4d6eebcab979ad04ull);
        row("ColourSpaceListRgb", ColourSpaceListRgb, 1, 0x9ca58e2c66ff22e2ull);
        row("ColourSpaceListYcc422", ColourSpaceListYcc422, 1, 0x28ea9b31d2480cb6ull);
        row("ColourSpaceListRgbYcc422", ColourSpaceListRgbYcc422, 2, 0xb0425280a1052e53ull);
        row("TestPatternList", TestPatternList, 11, 0xb86399e0f21aa220ull);
        row("AudioSourceList", AudioSourceList, 2, 0xf435fcae13dc9fa5ull);
        row("EdidAudioChannelList", EdidAudioChannelList, 2, 0x78e69987c3836c17ull);
        row("LockModeListFixed", LockModeListFixed, 4, 0xbe6e550e217d42a8ull);
        row("AutoSleepList", AutoSleepList, 6, 0x885a78246356d1a7ull);
        row("OffOnList", OffOnList, 2, 0xd4863e000e005359ull);
        row("ColourToneList", ColourToneList, 3, 0xeeb2ca98d3241236ull);
        row("EdgeEnhanceList", EdgeEnhanceList, 4, 0xc38ce07f31868981ull);
        row("AspectRatioList", AspectRatioList, 2, 0x89911c219ead202eull);
        row("NoiseLevelList", NoiseLevelList, 3, 0x6e056da694562820ull);
        row("OnOffList", OnOffList, 2, 0xffc187d5d362e293ull);
        row("DeinterlaceModeList", DeinterlaceModeList, 3, 0xd74dcaebce39ba51ull);
        row("EdgeAngleList", EdgeAngleList, 4, 0x2ea96ca91e201cf0ull);
        row("FilmModeList", FilmModeList, 4, 0xda7576535f59aac6ull);
        row("InterAreaList", InterAreaList, 3, 0xb2300394296b157aull);
        row("LockModeListByInput, ports 0 to 15", lockLists, 37, 0x7901b0f386c773d1ull);
    }
    // A lookup beyond the end gives nothing.
    void tables() {
        QFETCH(NameTable, table);
        QFETCH(int, entries);
        QCOMPARE(int(table.size()), entries);
        QTEST(Digest(table), "digest");
        QVERIFY(LookupName(table, unsigned(entries)).empty());
        QVERIFY(LookupName(table, 0xFFFFFFFFu).empty());
    }
};

QTEST_APPLESS_MAIN(TestSettings)
#include "test_settings.moc"
