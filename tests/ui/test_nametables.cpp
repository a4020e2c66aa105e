// Name-table lookups at their edges and the option lists built from the resolution table.
#include <QtTest>

#include "NameTables.h"

using kestrow::LookupName;
using kestrow::NameTable;

Q_DECLARE_METATYPE(NameTable)

namespace {
QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
QStringList List(NameTable t) {
    QStringList out;
    for (auto s : t)
        out << Q(s);
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
        QTest::newRow("port 9") << VideoPortNames << 9u << "VGA";
        QTest::newRow("port 10 empty") << VideoPortNames << 10u << "";
        QTest::newRow("port 11 beyond") << VideoPortNames << 11u << "";
        QTest::newRow("port 15 beyond") << VideoPortNames << 15u << "";
        QTest::newRow("output 0") << OutputResolutionNames << 0u << "SD(480i)60";
        QTest::newRow("output 36") << OutputResolutionNames << 36u << "Bypass";
        QTest::newRow("output 37 last") << OutputResolutionNames << 37u << "Auto-Detect";
        QTest::newRow("output 38 beyond") << OutputResolutionNames << 38u << "";
        QTest::newRow("timing 0") << InputTimingNames << 0u << "SD(480i)60";
        QTest::newRow("timing 104 as written") << InputTimingNames << 104u << "2800x288p50";
        QTest::newRow("timing 114") << InputTimingNames << 114u << "Out Of Range";
        QTest::newRow("timing 115") << InputTimingNames << 115u << "HDCP Content";
        QTest::newRow("timing 116 last") << InputTimingNames << 116u << "NO-SYNC";
        QTest::newRow("timing 117 beyond") << InputTimingNames << 117u << "";
        QTest::newRow("timing 255 beyond") << InputTimingNames << 255u << "";
        QTest::newRow("huge code") << InputTimingNames << 0xFFFFFFFFu << "";
    }
    void lookup() {
        QFETCH(NameTable, table);
        QFETCH(uint, code);
        QFETCH(QString, text);
        QCOMPARE(Q(LookupName(table, code)), text);
    }

    void nAPorts() {
        for (unsigned code : {2u, 4u, 6u, 8u}) {
            QCOMPARE(Q(LookupName(kestrow::VideoPortNames, code)), QString("N/A"));
        }
    }

    // Codes with equal texts stay separate codes.
    void duplicateTimingTexts() {
        for (auto [a, b] : {std::pair{54u, 55u}, {56u, 57u}, {71u, 72u}, {90u, 91u}}) {
            QCOMPARE(LookupName(kestrow::InputTimingNames, a),
                     LookupName(kestrow::InputTimingNames, b));
        }
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
        QTest::newRow("dvi") << 1 << QStringList{fr, "Lock To DVI", fl};
        QTest::newRow("sdi") << 3 << QStringList{fr, "Lock To SDI", fl};
        QTest::newRow("hdmi") << 5 << QStringList{fr, "Lock To HDMI", fl};
        QTest::newRow("vga") << 9 << QStringList{fr, "Lock To VGA", fl};
        QTest::newRow("n/a port") << 2 << QStringList{fr, fl};
        QTest::newRow("1cat") << 7 << QStringList{fr, fl};
        QTest::newRow("beyond table") << 15 << QStringList{fr, fl};
    }
    void lockModeByInput() {
        QFETCH(int, port);
        QFETCH(QStringList, list);
        QStringList got;
        for (auto s : kestrow::LockModeListByInput(static_cast<uint8_t>(port)))
            got << Q(s);
        QCOMPARE(got, list);
    }
};

QTEST_APPLESS_MAIN(TestNameTables)
#include "test_nametables.moc"
