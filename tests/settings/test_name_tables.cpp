// The name tables and option lists, entry by entry against their texts written out here, and
// where each ends (a lookup beyond the end gives nothing).
#include <QtTest>
#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "settings/NameTables.h"

using kestrow::LookupName;
using kestrow::NameTable;

Q_DECLARE_METATYPE(NameTable)

namespace {

// What the name tables and option lists hold: each row gives a table, the index of the row's
// first text, and the texts from there on.
struct NameRow {
    const char* table;
    unsigned first;
    std::vector<const char*> texts;
};

const NameRow kNameRows[] = {
    {"VideoPortNames", 0, {"Component", "DVI", "N/A", "SDI"}},
    {"VideoPortNames", 4, {"N/A", "HDMI", "N/A", "1CAT"}},
    {"VideoPortNames", 8, {"N/A", "VGA", ""}},
    {"OutputResolutionNames", 0, {"SD(480i)60", "SD(576i)50", "SD(480p)60", "SD(576p)50"}},
    {"OutputResolutionNames", 4, {"HD(720p)60", "HD(720p)59", "HD(720p)50", "HD(720p)30"}},
    {"OutputResolutionNames", 8, {"HD(720p)25", "HD(1080i)60", "HD(1080i)59", "HD(1080i)50"}},
    {"OutputResolutionNames", 12, {"HD(1080p)60", "HD(1080p)59", "HD(1080p)50", "HD(1080p)30"}},
    {"OutputResolutionNames", 16, {"HD(1080p)25", "HD(1080p)24", "640x480p60", "640x480p75"}},
    {"OutputResolutionNames", 20, {"800x600p60", "800x600p75", "1024x768p60", "1024x768p75"}},
    {"OutputResolutionNames", 24, {"1280x1024p60", "1280x1024p75", "1360x768p60", "1366x768p60"}},
    {"OutputResolutionNames", 28, {"1400x1050p60", "1600x1200p60", "1440x900p60", "1440x900p75"}},
    {"OutputResolutionNames", 32, {"1680x1050p60", "1680x1050pRB", "1920x1080pRB", "1920x1200pRB"}},
    {"OutputResolutionNames", 36, {"Bypass", "Auto-Detect"}},
    {"InputTimingNames", 0, {"SD(480i)60", "SD(576i)50", "SD(480p)60", "SD(576p)50"}},
    {"InputTimingNames", 4, {"HD(720p)60", "HD(720p)50", "HD(1080i)60", "HD(1080i)50"}},
    {"InputTimingNames", 8, {"HD(1080p)60", "HD(1080p)50", "640x480p60", "800x600p60"}},
    {"InputTimingNames", 12, {"1024x768p60", "1280x1024p60", "1280x720p60", "1280x960p60"}},
    {"InputTimingNames", 16, {"1360x768p60", "1440x900p60", "640x480p72", "640x480p75"}},
    {"InputTimingNames", 20, {"800x600p56", "800x600p72", "800x600p75", "1024x768p70"}},
    {"InputTimingNames", 24, {"1024x768p75", "1152x864p75", "1280x800p60", "1600x1200p60"}},
    {"InputTimingNames", 28, {"1280x1024p75", "1024x768p85", "800x600p85", "1920x1200p60"}},
    {"InputTimingNames", 32, {"1280x768p60", "640x350p85", "640x400p85", "720x400p85"}},
    {"InputTimingNames", 36, {"640x480p85", "800x600p120", "848x480p60", "1024x768i43"}},
    {"InputTimingNames", 40, {"1024x768p120", "1280x768p60", "1280x768p75", "1280x768p85"}},
    {"InputTimingNames", 44, {"1280x768p120", "1280x800p60", "1280x800p75", "1280x800p85"}},
    {"InputTimingNames", 48, {"1280x800p120", "1280x960p85", "1280x960p120", "1280x1024p85"}},
    {"InputTimingNames", 52, {"1280x1024p120", "1360x768p120", "1366x768p60", "1366x768p60"}},
    {"InputTimingNames", 56, {"1400x1050p60", "1400x1050p60", "1400x1050p75", "1400x1050p85"}},
    {"InputTimingNames", 60, {"1400x1050p120", "1440x900p60", "1440x900p75", "1440x900p85"}},
    {"InputTimingNames", 64, {"1440x900p120", "1600x900p60", "1600x1200p65", "1600x1200p70"}},
    {"InputTimingNames", 68, {"1600x1200p75", "1600x1200p85", "1600x1200p120", "1680x1050p60"}},
    {"InputTimingNames", 72, {"1680x1050p60", "1680x1050p75", "1680x1050p85", "1680x1050p120"}},
    {"InputTimingNames", 76, {"1792x1344p60", "1792x1344p75", "1792x1344p120", "1856x1392p60"}},
    {"InputTimingNames", 80, {"1856x1392p75", "1856x1392p120", "1920x1200p60", "1920x1200p75"}},
    {"InputTimingNames", 84, {"1920x1200p85", "1920x1200p120", "1920x1440p60", "1920x1440p75"}},
    {"InputTimingNames", 88, {"1920x1440p120", "2048x1152p60", "2560x1600p60", "2560x1600p60"}},
    {"InputTimingNames", 92, {"2560x1600p75", "2560x1600p85", "2560x1600p120", "1440x480i60"}},
    {"InputTimingNames", 96, {"1440x240p60", "2880x480i60", "2880x240p60", "1440x480p60"}},
    {"InputTimingNames", 100, {"2880x480p60", "1440x576i50", "1440x288p50", "2880x576i50"}},
    {"InputTimingNames", 104, {"2800x288p50", "1440x576p50", "2880x576p50", "HD(1080p)30"}},
    {"InputTimingNames", 108, {"HD(1080p)25", "HD(1080p)24", "HD(720p)30", "HD(720p)25"}},
    {"InputTimingNames", 112, {"720x400p50", "720x400p70", "Out Of Range", "HDCP Content"}},
    {"InputTimingNames", 116, {"NO-SYNC"}},
    {"OutputResolutionListSdi", 0, {"SD(480i)60", "SD(576i)50", "SD(480p)60", "SD(576p)50"}},
    {"OutputResolutionListSdi", 4, {"HD(720p)60", "HD(720p)59", "HD(720p)50", "HD(720p)30"}},
    {"OutputResolutionListSdi", 8, {"HD(720p)25", "HD(1080i)60", "HD(1080i)59", "HD(1080i)50"}},
    {"OutputResolutionListSdi", 12, {"HD(1080p)60", "HD(1080p)59", "HD(1080p)50", "HD(1080p)30"}},
    {"OutputResolutionListSdi", 16, {"HD(1080p)25", "HD(1080p)24", "Bypass"}},
    {"OutputResolutionListVga", 0, {"HD(720p)60", "HD(1080p)60", "640x480p60", "640x480p75"}},
    {"OutputResolutionListVga", 4, {"800x600p60", "800x600p75", "1024x768p60", "1024x768p75"}},
    {"OutputResolutionListVga", 8, {"1280x1024p60", "1280x1024p75", "1360x768p60", "1366x768p60"}},
    {"OutputResolutionListVga", 12, {"1400x1050p60", "1600x1200p60", "1440x900p60", "1440x900p75"}},
    {"OutputResolutionListVga",
     16,
     {"1680x1050p60", "1680x1050pRB", "1920x1080pRB", "1920x1200pRB"}},
    {"OutputResolutionListVga", 20, {"Bypass", "Auto-Detect"}},
    {"OutputResolutionListComponent", 0, {"SD(480i)60", "SD(576i)50", "HD(720p)60", "HD(720p)59"}},
    {"OutputResolutionListComponent", 4, {"HD(720p)50", "HD(720p)30", "HD(720p)25", "HD(1080i)60"}},
    {"OutputResolutionListComponent",
     8,
     {"HD(1080i)59", "HD(1080i)50", "HD(1080p)60", "HD(1080p)59"}},
    {"OutputResolutionListComponent",
     12,
     {"HD(1080p)50", "HD(1080p)30", "HD(1080p)25", "HD(1080p)24"}},
    {"OutputResolutionListComponent", 16, {"Bypass"}},
    {"ColourSpaceList", 0, {"RGB", "YCbCr444", "YCbCr422"}},
    {"ColourSpaceListRgb", 0, {"RGB"}},
    {"ColourSpaceListYcc422", 0, {"YCbCr422"}},
    {"ColourSpaceListRgbYcc422", 0, {"RGB", "YCbCr422"}},
    {"TestPatternList", 0, {"Disable", "White", "Cross", "Hatch"}},
    {"TestPatternList", 4, {"Color", "Gray", "Window", "H-Ramp"}},
    {"TestPatternList", 8, {"W-HRamp", "W-VRamp", "Diagonal"}},
    {"AudioSourceList", 0, {"SPDIF", "Analog"}},
    {"EdidAudioChannelList", 0, {"2Ch", "7.1Ch"}},
    {"LockModeListFixed",
     0,
     {"Free-Run", "Lock to VGA", "Lock to GenLock", "FrameLock B(Genlock)"}},
    {"AutoSleepList", 0, {"Off", "1 min", "2 min", "3 min", "4 min", "5 min"}},
    {"OffOnList", 0, {"Off", "On"}},
    {"ColourToneList", 0, {"Off", "Skin", "Green"}},
    {"EdgeEnhanceList", 0, {"Typ", "Mid", "Max", "Off"}},
    {"AspectRatioList", 0, {"4:3", "16:9"}},
    {"NoiseLevelList", 0, {"Off", "Typ", "Strong"}},
    {"OnOffList", 0, {"On", "Off"}},
    {"DeinterlaceModeList", 0, {"Adapt", "Intra", "Inter"}},
    {"EdgeAngleList", 0, {"All", "Off", "45", "26"}},
    {"FilmModeList", 0, {"All", "Off", "3:2", "2:2"}},
    {"InterAreaList", 0, {"On", "Off", "Adj"}},
    {"LockModeListByInput(0)", 0, {"Free-Run", "Lock To YPbPr", "FrameLock B(Genlock)"}},
    {"LockModeListByInput(1)", 0, {"Free-Run", "Lock To DVI", "FrameLock B(Genlock)"}},
    {"LockModeListByInput(2)", 0, {"Free-Run", "FrameLock B(Genlock)"}},
    {"LockModeListByInput(3)", 0, {"Free-Run", "Lock To SDI", "FrameLock B(Genlock)"}},
    {"LockModeListByInput(4)", 0, {"Free-Run", "FrameLock B(Genlock)"}},
    {"LockModeListByInput(5)", 0, {"Free-Run", "Lock To HDMI", "FrameLock B(Genlock)"}},
    {"LockModeListByInput(6)", 0, {"Free-Run", "FrameLock B(Genlock)"}},
    {"LockModeListByInput(7)", 0, {"Free-Run", "FrameLock B(Genlock)"}},
    {"LockModeListByInput(8)", 0, {"Free-Run", "FrameLock B(Genlock)"}},
    {"LockModeListByInput(9)", 0, {"Free-Run", "Lock To VGA", "FrameLock B(Genlock)"}},
    {"LockModeListByInput(10)", 0, {"Free-Run", "FrameLock B(Genlock)"}},
    {"LockModeListByInput(11)", 0, {"Free-Run", "FrameLock B(Genlock)"}},
    {"LockModeListByInput(12)", 0, {"Free-Run", "FrameLock B(Genlock)"}},
    {"LockModeListByInput(13)", 0, {"Free-Run", "FrameLock B(Genlock)"}},
    {"LockModeListByInput(14)", 0, {"Free-Run", "FrameLock B(Genlock)"}},
    {"LockModeListByInput(15)", 0, {"Free-Run", "FrameLock B(Genlock)"}},
};

// A table under test and the table whose rows it holds (OutputResolutionListFull holds all of
// OutputResolutionNames).
struct TableUnderTest {
    QString name;
    NameTable table;
    QString rows;
};

std::vector<TableUnderTest> TablesUnderTest() {
    using namespace kestrow;
    static const auto lockLists = [] {
        std::array<std::vector<std::string_view>, 16> lists;
        for (uint8_t port = 0; port < lists.size(); ++port) {
            lists[port] = LockModeListByInput(port);
        }
        return lists;
    }();
#define KESTROW_TABLE(table) {#table, table, #table}
    std::vector<TableUnderTest> tables{
        KESTROW_TABLE(VideoPortNames),
        KESTROW_TABLE(OutputResolutionNames),
        KESTROW_TABLE(InputTimingNames),
        {"OutputResolutionListFull", OutputResolutionListFull, "OutputResolutionNames"},
        KESTROW_TABLE(OutputResolutionListSdi),
        KESTROW_TABLE(OutputResolutionListVga),
        KESTROW_TABLE(OutputResolutionListComponent),
        KESTROW_TABLE(ColourSpaceList),
        KESTROW_TABLE(ColourSpaceListRgb),
        KESTROW_TABLE(ColourSpaceListYcc422),
        KESTROW_TABLE(ColourSpaceListRgbYcc422),
        KESTROW_TABLE(TestPatternList),
        KESTROW_TABLE(AudioSourceList),
        KESTROW_TABLE(EdidAudioChannelList),
        KESTROW_TABLE(LockModeListFixed),
        KESTROW_TABLE(AutoSleepList),
        KESTROW_TABLE(OffOnList),
        KESTROW_TABLE(ColourToneList),
        KESTROW_TABLE(EdgeEnhanceList),
        KESTROW_TABLE(AspectRatioList),
        KESTROW_TABLE(NoiseLevelList),
        KESTROW_TABLE(OnOffList),
        KESTROW_TABLE(DeinterlaceModeList),
        KESTROW_TABLE(EdgeAngleList),
        KESTROW_TABLE(FilmModeList),
        KESTROW_TABLE(InterAreaList),
    };
#undef KESTROW_TABLE
    for (size_t port = 0; port < lockLists.size(); ++port) {
        const QString name = QString("LockModeListByInput(%1)").arg(port);
        tables.push_back({name, lockLists[port], name});
    }
    return tables;
}

QString EntryText(NameTable table, unsigned index) {
    const std::string_view s = LookupName(table, index);
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

class TestNameTables : public QObject {
    Q_OBJECT
  private slots:
    // Each entry of each table: a failure names the table and the index ("Table[116]").
    void nameTables_data() {
        QTest::addColumn<NameTable>("table");
        QTest::addColumn<uint>("index");
        QTest::addColumn<QString>("text");
        for (const TableUnderTest& t : TablesUnderTest()) {
            unsigned next = 0;
            for (const NameRow& r : kNameRows) {
                if (t.rows != r.table) {
                    continue;
                }
                QVERIFY2(r.first == next, qPrintable(QString("%1: the row at %2 follows entry %3")
                                                         .arg(r.table)
                                                         .arg(r.first)
                                                         .arg(next)));
                for (const char* text : r.texts) {
                    QTest::addRow("%s[%u]", qPrintable(t.name), next) << t.table << next << text;
                    ++next;
                }
            }
        }
    }
    void nameTables() {
        QFETCH(NameTable, table);
        QFETCH(uint, index);
        QVERIFY2(index < table.size(),
                 qPrintable(QString("the table ends after %1 entries").arg(table.size())));
        QTEST(EntryText(table, index), "text");
    }

    // Where each table ends: as many entries as its rows give, and a lookup beyond gives
    // nothing.
    void nameTableEnds_data() {
        QTest::addColumn<NameTable>("table");
        QTest::addColumn<uint>("entries");
        const std::vector<TableUnderTest> tables = TablesUnderTest();
        for (const NameRow& r : kNameRows) {
            QVERIFY2(std::any_of(tables.begin(), tables.end(),
                                 [&r](const TableUnderTest& t) { return t.rows == r.table; }),
                     r.table);
        }
        for (const TableUnderTest& t : tables) {
            unsigned entries = 0;
            for (const NameRow& r : kNameRows) {
                entries += t.rows == r.table ? unsigned(r.texts.size()) : 0;
            }
            QTest::newRow(qPrintable(t.name)) << t.table << entries;
        }
    }
    void nameTableEnds() {
        QFETCH(NameTable, table);
        QFETCH(uint, entries);
        QCOMPARE(table.size(), size_t(entries));
        QCOMPARE(EntryText(table, entries), QString());
        QCOMPARE(EntryText(table, 0xFFFFFFFFu), QString());
    }
};

QTEST_APPLESS_MAIN(TestNameTables)
#include "test_name_tables.moc"
