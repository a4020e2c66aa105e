// Name tables and option lists, each pinned whole through lookups of every entry (a lookup
// beyond the end gives nothing); and the settings table's conversions and rules, one row each.
#include <QCryptographicHash>
#include <QtTest>

#include "settings/NameTables.h"
#include "settings/Settings.h"

using kestrow::LookupName;
using kestrow::NameTable;

Q_DECLARE_METATYPE(NameTable)

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
//   any       "available" -> yes or no; setting "" and "reset" -> the factory-reset item
QString Ask(const SettingInfo* s, const BoxFacts& box, const QString& ask) {
    if (s == nullptr) {
        return QString::number(FactoryResetItem(box));
    }
    if (ask == "available") {
        return Available(*s, box) ? "yes" : "no";
    }
    bool number = false;
    const int n = ask.section(' ', -1).toInt(&number);
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
    {"contrast 0", "contrast", {}, "0", "byte 0 shows 0"},
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

}  // namespace

class TestSettings : public QObject {
    Q_OBJECT
  private slots:
    // A digest of the entries joined by line feeds (the lock lists of every input port code in
    // a row, as one table).
    void wholeTables_data() {
        using namespace kestrow;
        QTest::addColumn<NameTable>("table");
        QTest::addColumn<QByteArray>("md5");
#define KESTROW_ROW(table, md5) QTest::newRow(#table) << NameTable(table) << QByteArray(md5)
        KESTROW_ROW(VideoPortNames, "9c458b44c36dd38889ba429230cee493");
        KESTROW_ROW(OutputResolutionNames, "2f04f38f9c910df5f6dd230c041287bd");
        KESTROW_ROW(InputTimingNames, "112ad9a6af81e7695383d4bdf1bbf850");
        KESTROW_ROW(OutputResolutionListFull, "2f04f38f9c910df5f6dd230c041287bd");
        KESTROW_ROW(OutputResolutionListSdi, "e0be8f6dd1ba912bdb1789f6079ad57c");
        KESTROW_ROW(OutputResolutionListVga, "eab9fc94a9dbe082d3edbae6e8829186");
        KESTROW_ROW(OutputResolutionListComponent, "736c8e7d98369d9759207cf3e8cb8e06");
        KESTROW_ROW(ColourSpaceList, "2b6a0677ac83318940384ee066976181");
        KESTROW_ROW(ColourSpaceListRgb, "889574aebacda6bfd3e534e2b49b8028");
        KESTROW_ROW(ColourSpaceListYcc422, "dfa54fb0177d90988f074e421cc7352a");
        KESTROW_ROW(ColourSpaceListRgbYcc422, "aaa88e8cf93c7ecbc4576df724f8f8a4");
        KESTROW_ROW(TestPatternList, "82a6d3219b51adda7a183f20e86038b3");
        KESTROW_ROW(AudioSourceList, "1299b5bfcb6f8c68f8b208f3c8997f1c");
        KESTROW_ROW(EdidAudioChannelList, "dad64fcfc3285ac3c970e377318b2033");
        KESTROW_ROW(LockModeListFixed, "306eac051bbce65ae8b32cc772ceb3c3");
        KESTROW_ROW(AutoSleepList, "56bd1c08ddd3e70fd20ad98b4ab7fdf6");
        KESTROW_ROW(OffOnList, "460402eea4a214b958ae7b991591909d");
        KESTROW_ROW(ColourToneList, "eebf8e2b08734592cd810cf15140d834");
        KESTROW_ROW(EdgeEnhanceList, "c8dddb044044c5b4724d84ea605c8a86");
        KESTROW_ROW(AspectRatioList, "cfe75aee6aaad86c23dfd32e5d2b0df1");
        KESTROW_ROW(NoiseLevelList, "442ebccc1f9496942e78fae77376d150");
        KESTROW_ROW(OnOffList, "fe334116c89b66d9087054acd4c7aed5");
        KESTROW_ROW(DeinterlaceModeList, "13fbad9481af68f9d8b096d333553a9a");
        KESTROW_ROW(EdgeAngleList, "9c59a93596e48aa4bb7c890b5b2d392d");
        KESTROW_ROW(FilmModeList, "3c8c7736d36e2ffda5595542b8c5bfd8");
        KESTROW_ROW(InterAreaList, "4b6f92f7132d30a9d6f6f4007ae34c91");
#undef KESTROW_ROW
        static const auto lock = [] {
            std::vector<std::string_view> all;
            for (uint8_t port = 0; port < 16; ++port) {
                const auto list = LockModeListByInput(port);
                all.insert(all.end(), list.begin(), list.end());
            }
            return all;
        }();
        QTest::newRow("LockModeListByInput")
            << NameTable(lock) << QByteArray("1751520aac8dcb3f4662da0b7e768d09");
    }
    void wholeTables() {
        QFETCH(NameTable, table);
        const auto entry = [&table](size_t code) {
            const std::string_view s = LookupName(table, static_cast<unsigned>(code));
            return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
        };
        QStringList entries;
        for (size_t code = 0; code < table.size(); ++code) {
            entries << entry(code);
        }
        const QByteArray text = entries.join(QChar('\n')).toUtf8();
        QTEST(QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex(), "md5");
        QCOMPARE(entry(table.size()), QString());
        QCOMPARE(entry(0xFFFFFFFFu), QString());
    }

    void conversions_data() {
        QTest::addColumn<int>("row");
        for (int k = 0; k < int(std::size(kConversions)); ++k) {
            QTest::newRow(kConversions[k].tag) << k;
        }
    }
    void conversions() {
        QFETCH(int, row);
        const Conversion& c = kConversions[row];
        const SettingInfo* s = *c.setting != '\0' ? FindSetting(c.setting) : nullptr;
        QVERIFY(*c.setting == '\0' || s != nullptr);
        QCOMPARE(Ask(s, c.box, c.ask), QString(c.told));
    }
};

QTEST_APPLESS_MAIN(TestSettings)
#include "test_settings.moc"
