// The name tables and option lists: each table's length and a digest of every entry in order, so
// that a changed, missing or moved text shows without the texts being copied here; and a lookup
// beyond the end gives nothing.
#include <QtTest>
#include <cstdint>
#include <string_view>
#include <vector>

#include "settings/NameTables.h"

using namespace kestrow;

Q_DECLARE_METATYPE(kestrow::NameTable)

namespace {

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

class TestNameTables : public QObject {
    Q_OBJECT
  private slots:
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
    void tables() {
        QFETCH(NameTable, table);
        QFETCH(int, entries);
        QCOMPARE(int(table.size()), entries);
        QTEST(Digest(table), "digest");
        QVERIFY(LookupName(table, unsigned(entries)).empty());
        QVERIFY(LookupName(table, 0xFFFFFFFFu).empty());
    }
};

QTEST_APPLESS_MAIN(TestNameTables)
#include "test_name_tables.moc"
