// Name tables and option lists, each pinned whole through lookups of every entry; a lookup
// beyond the end gives nothing.
#include <QCryptographicHash>
#include <QtTest>

#include "settings/NameTables.h"

using kestrow::LookupName;
using kestrow::NameTable;

Q_DECLARE_METATYPE(NameTable)

class TestNameTables : public QObject {
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
};

QTEST_APPLESS_MAIN(TestNameTables)
#include "test_nametables.moc"
