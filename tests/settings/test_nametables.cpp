// Name-table lookups at their edges and the option lists built from the resolution table.
#include <QtTest>

#include "NameTables.h"

using kestrow::LookupName;
using kestrow::NameTable;

Q_DECLARE_METATYPE(NameTable)

namespace {
QString Utf8(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

template <class Names>
QStringList List(const Names& names) {
    QStringList out;
    for (auto s : names)
        out << Utf8(s);
    return out;
}
}  // namespace

class TestNameTables : public QObject {
    Q_OBJECT
  private slots:
    void lookup_data() {
        using namespace kestrow;
        QTest::addColumn<NameTable>("table");
        QTest::addColumn<uint>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("port 0") << VideoPortNames << 0u << "Component";
        QTest::newRow("port 10 empty") << VideoPortNames << 10u << "";
        QTest::newRow("port 11 beyond") << VideoPortNames << 11u << "";
        QTest::newRow("output 0") << OutputResolutionNames << 0u << "SD(480i)60";
        QTest::newRow("output 37 last") << OutputResolutionNames << 37u << "Auto-Detect";
        QTest::newRow("output 38 beyond") << OutputResolutionNames << 38u << "";
        QTest::newRow("timing 0") << InputTimingNames << 0u << "SD(480i)60";
        QTest::newRow("timing 104 as written") << InputTimingNames << 104u << "2800x288p50";
        QTest::newRow("timing 116 last") << InputTimingNames << 116u << "NO-SYNC";
        QTest::newRow("timing 117 beyond") << InputTimingNames << 117u << "";
        QTest::newRow("huge code") << InputTimingNames << 0xFFFFFFFFu << "";
    }
    void lookup() {
        QFETCH(NameTable, table);
        QFETCH(uint, code);
        QFETCH(QString, text);
        QCOMPARE(Utf8(LookupName(table, code)), text);
    }

    // The reduced resolution lists pick their texts from the full table by code.
    void resolutionLists() {
        using namespace kestrow;
        const QStringList full = List(OutputResolutionNames);
        const QStringList vga = QStringList{full[4], full[12]} + full.mid(18, 18) +
                                QStringList{"Bypass", "Auto-Detect"};
        const QStringList component =
            QStringList{full[0], full[1]} + full.mid(4, 14) + QStringList{"Bypass"};
        QCOMPARE(List(OutputResolutionListFull), full);
        QCOMPARE(List(OutputResolutionListSdi), full.mid(0, 18) + QStringList{"Bypass"});
        QCOMPARE(List(OutputResolutionListVga), vga);
        QCOMPARE(List(OutputResolutionListComponent), component);
    }

    void lockModeByInput_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QStringList>("list");
        const QString fr = "Free-Run", fl = "FrameLock B(Genlock)";
        QTest::newRow("component") << 0 << QStringList{fr, "Lock To YPbPr", fl};
        QTest::newRow("vga") << 9 << QStringList{fr, "Lock To VGA", fl};
        QTest::newRow("n/a port") << 2 << QStringList{fr, fl};
        QTest::newRow("1cat") << 7 << QStringList{fr, fl};
        QTest::newRow("beyond table") << 15 << QStringList{fr, fl};
    }
    void lockModeByInput() {
        QFETCH(int, port);
        QFETCH(QStringList, list);
        QCOMPARE(List(kestrow::LockModeListByInput(static_cast<uint8_t>(port))), list);
    }
};

QTEST_APPLESS_MAIN(TestNameTables)
#include "test_nametables.moc"
