#include "sysinfo/basic_facts.h"
#include "app/pages/system_page.h"
#include "fake_drives.h"
#include "sysinfo/environment.h"
#include "sysinfo/number_form.h"

#include <QLabel>
#include <QLocale>
#include <QProcessEnvironment>
#include <QSysInfo>
#include <QTest>
#include <QWidget>

using Variables = QList<QPair<QByteArray, QByteArray>>;

namespace {

// The page's lower block as the window lays it out, headings as stored; the facts of
// the drives `drives` lists are shown as soon as it is made.
struct FactsForm
{
    explicit FactsForm(const sysinfo::DriveSource &drives)
    {
        const QStringList headings{"操作系统：", "电脑名称：", "当前用户：", "硬盘容量：", "主盘剩余："};
        for (int i = 0; i < headings.size(); ++i)
            (new QLabel(headings.at(i), &form))->setObjectName(QStringLiteral("Label%1").arg(i + 3)); // Label3..Label7
        const auto find = [this](const char *name) { return form.findChild<QLabel *>(QLatin1String(name)); };
        app::showBasicFacts({find("Label3"), find("Label4"), find("Label5"), find("Label6"), find("Label7")},
                            sysinfo::basicFacts(drives.entries(), drives));
    }
    const QLabel *label(const char *name) const { return form.findChild<QLabel *>(QLatin1String(name)); }
    QString text(const char *name) const { return label(name)->text(); }

    QWidget form;
};

// Whether `key` is any spelling of a variable these tests set.
bool isFactVariable(const QString &key)
{
    const QStringList names{"os", "computername", "username", "systemdrive", "brisquel_test_var", "brisquel_test_var2"};
    return names.contains(key, Qt::CaseInsensitive);
}

void unsetFactVariables()
{
    const QStringList keys = QProcessEnvironment::systemEnvironment().keys();
    for (const QString &key : keys) {
        if (isFactVariable(key))
            qunsetenv(key.toLocal8Bit().constData());
    }
}

QString withLocaleSeparator(QString text)
{
    return text.replace(QLatin1Char('.'), QLocale::system().decimalPoint());
}

} // namespace

class TestBasicFacts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_saved = QProcessEnvironment::systemEnvironment(); }
    void init() { unsetFactVariables(); }

    void cleanupTestCase()
    {
        unsetFactVariables();
        const QStringList keys = m_saved.keys();
        for (const QString &key : keys) {
            if (isFactVariable(key))
                qputenv(key.toLocal8Bit().constData(), m_saved.value(key).toLocal8Bit());
        }
    }

    void generalNumber_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected"); // with "." for the locale's separator

        QTest::newRow("5 GiB in MB") << 5368709120.0 / 1024 / 1024 << "5120";
        QTest::newRow("10^9 bytes in MB") << 1e9 / 1024 / 1024 << "953.67431640625";
        QTest::newRow("rounded to 15 digits") << 123456789.0 / 1024 / 1024 << "117.737568855286";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("whole") << 30720.0 << "30720";
        QTest::newRow("no trailing zeros") << 0.1 + 0.2 << "0.3";
        QTest::newRow("beyond 15 digits, no exponent") << 1234567890123456789.0 << "1234567890123460000";
        QTest::newRow("rounding carries") << 999999999999999.5 << "1000000000000000";
        QTest::newRow("one block of 4 KiB") << 4096.0 / 1024 / 1024 << "0.00390625";
        QTest::newRow("one byte, no exponent") << 1.0 / 1024 / 1024 << "0.00000095367431640625";
        QTest::newRow("negative") << -2.5 << "-2.5";
    }

    void generalNumber()
    {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(sysinfo::generalNumber(value), withLocaleSeparator(expected));
    }

    // Run once more by ctest under a German locale, where the separator is a comma.

    void decimalSeparatorFollowsLocale()
    {
        QCOMPARE(sysinfo::generalNumber(2.5),
                 QStringLiteral("2") + QLocale::system().decimalPoint() + QStringLiteral("5"));
        if (qEnvironmentVariable("LC_ALL").startsWith(QLatin1String("de"))) {
            QCOMPARE(sysinfo::generalNumber(953.67431640625), QStringLiteral("953,67431640625"));
            QCOMPARE(sysinfo::throughTextForm(2.5), 2.5);
        }
    }

    void throughTextForm_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("expected");

        QTest::newRow("10 GiB exact") << 10737418240.0 << 10737418240.0;
        QTest::newRow("just below 10^15 exact") << 999999999999999.0 << 999999999999999.0;
        QTest::newRow("10^15 + 1 loses the 1") << 1000000000000001.0 << 1e15;
        QTest::newRow("18 digits") << 123456789012345678.0 << 123456789012346000.0;
    }

    void throughTextForm()
    {
        QFETCH(double, value);
        QFETCH(double, expected);
        QCOMPARE(sysinfo::throughTextForm(value), expected);
    }

    void environmentLookup_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Variables>("variables");
        QTest::addColumn<QString>("expected");

        QTest::newRow("same case") << "os" << Variables{{"os", "Windows_NT"}} << "Windows_NT";
        QTest::newRow("upper case") << "computername" << Variables{{"COMPUTERNAME", "PC-01"}} << "PC-01";
        QTest::newRow("mixed case, Chinese value") << "username" << Variables{{"UserName", "张三"}} << "张三";
        QTest::newRow("exact case wins")
            << "systemdrive" << Variables{{"SYSTEMDRIVE", "D:"}, {"systemdrive", "C:"}, {"SystemDrive", "E:"}} << "C:";
        QTest::newRow("set but empty") << "systemdrive" << Variables{{"SystemDrive", ""}} << "";
        QTest::newRow("unset, no stand-in") << "brisquel_test_var" << Variables{} << "";
        QTest::newRow("other variable only") << "brisquel_test_var" << Variables{{"BRISQUEL_TEST_VAR2", "x"}} << "";
    }

    void environmentLookup()
    {
        QFETCH(QString, name);
        QFETCH(Variables, variables);
        QFETCH(QString, expected);
        for (const auto &[key, value] : variables)
            qputenv(key.constData(), value);
        QCOMPARE(sysinfo::environmentValue(name), expected);
    }

    void sizes_data()
    {
        QTest::addColumn<QByteArray>("systemDrive"); // "unset": leave it unset
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<Sizes>("totals");
        QTest::addColumn<Sizes>("frees");
        QTest::addColumn<QString>("label6");
        QTest::addColumn<QString>("label7");
        QTest::addColumn<QString>("toolTip");

        QTest::newRow("two drives, 5 GiB free")
            << QByteArray("C:") << QStringList{"c: [SYSTEM]", "d: [DATA]"}
            << Sizes{{"C", 10737418240}, {"D", 21474836480}} << Sizes{{"C", 5368709120}}
            << "硬盘容量：30720MB" << "主盘剩余：5120MB" << "系统盘为：C盘";
        QTest::newRow("drives without a medium add nothing")
            << QByteArray("C:") << QStringList{"a:", "c: [SYSTEM]", "d: [DATA]", "e:", "x: [GONE]"}
            << Sizes{{"C", 10737418240}, {"D", 21474836480}, {"A", -1}, {"E", -1}} << Sizes{{"C", 1000000000}}
            << "硬盘容量：30720MB" << "主盘剩余：953.67431640625MB" << "系统盘为：C盘";
        QTest::newRow("empty drive list")
            << QByteArray("C:") << QStringList{} << Sizes{} << Sizes{{"C", 123456789}}
            << "硬盘容量：0MB" << "主盘剩余：117.737568855286MB" << "系统盘为：C盘";
        QTest::newRow("no system drive")
            << QByteArray("") << QStringList{"c:"} << Sizes{{"C", 10737418240}} << Sizes{{"C", 1}, {"", 1}}
            << "硬盘容量：10240MB" << "主盘剩余：" << "系统盘为：盘";
        QTest::newRow("system drive not there")
            << QByteArray("Q:") << QStringList{"c:"} << Sizes{{"C", 10737418240}} << Sizes{{"C", 1}}
            << "硬盘容量：10240MB" << "主盘剩余：" << "系统盘为：Q盘";
        QTest::newRow("only the first character counts")
            << QByteArray("c:\\windows") << QStringList{} << Sizes{} << Sizes{{"C", 5368709120}}
            << "硬盘容量：0MB" << "主盘剩余：5120MB" << "系统盘为：c盘";
        QTest::newRow("Linux: mount points, root stands in")
            << QByteArray("unset") << QStringList{"/ [vda]", "/media/me/USB Disk [sdb1]", "/mnt/[old] [sdc1]"}
            << Sizes{{"/", 10737418240}, {"/media/me/USB Disk", 21474836480}, {"/mnt/[old]", 1048576}}
            << Sizes{{"/", 4096}} << "硬盘容量：30721MB" << "主盘剩余：0.00390625MB" << "系统盘为：/盘";
        QTest::newRow("each size passes through 15 digits")
            << QByteArray("C:") << QStringList{"c:", "d:"}
            << Sizes{{"C", 1000000000000004999}, {"D", 1000000000000004999}} // summed raw: ...812.51
            << Sizes{} << "硬盘容量：1907348632812.5MB" << "主盘剩余：" << "系统盘为：C盘";
    }

    void sizes()
    {
        QFETCH(QByteArray, systemDrive);
        QFETCH(QStringList, entries);
        QFETCH(Sizes, totals);
        QFETCH(Sizes, frees);
        QFETCH(QString, label6);
        QFETCH(QString, label7);
        QFETCH(QString, toolTip);
        if (systemDrive != "unset")
            qputenv("SystemDrive", systemDrive);

        const FactsForm page(FakeDrives(entries, totals, frees));
        QCOMPARE(page.text("Label6"), withLocaleSeparator(label6));
        QCOMPARE(page.text("Label7"), withLocaleSeparator(label7));
        QCOMPARE(page.label("Label7")->toolTip(), toolTip);
    }

    void captionsGetTheirValueOnce()
    {
        qputenv("OS", "Windows_NT");
        qputenv("ComputerName", "办公室-PC");
        qputenv("USERNAME", "张三");
        const FactsForm page(FakeDrives({}, {}, {}));
        QCOMPARE(page.text("Label3"), QStringLiteral("操作系统：Windows_NT"));
        QCOMPARE(page.text("Label4"), QStringLiteral("电脑名称：办公室-PC"));
        QCOMPARE(page.text("Label5"), QStringLiteral("当前用户：张三"));
    }

    void standInCaptions()
    {
        const FactsForm page(FakeDrives({}, {}, {}));
        const QString os = QStringLiteral("操作系统：") + QSysInfo::kernelType();
        QVERIFY(page.text("Label3").compare(os, Qt::CaseInsensitive) == 0);
        QCOMPARE(page.text("Label4"), QStringLiteral("电脑名称：") + QSysInfo::machineHostName());
        QVERIFY(page.text("Label5").size() > QStringLiteral("当前用户：").size());
    }

    void missingControlsArePassedOver()
    {
        qputenv("SystemDrive", "C:");
        const FakeDrives drives({"c:"}, {{"C", 10737418240}}, {{"C", 5368709120}});
        QWidget form;
        auto *label7 = new QLabel(QStringLiteral("主盘剩余："), &form);
        label7->setObjectName(QStringLiteral("Label7"));
        const sysinfo::BasicFacts facts = sysinfo::basicFacts(drives.entries(), drives);
        app::FactLabels labels;
        labels.systemDriveFree = label7;
        app::showBasicFacts(labels, facts);
        app::showBasicFacts({}, facts);
        QCOMPARE(label7->text(), QStringLiteral("主盘剩余：5120MB"));
        QCOMPARE(label7->toolTip(), QStringLiteral("系统盘为：C盘"));
    }

private:
    QProcessEnvironment m_saved;
};

QTEST_MAIN(TestBasicFacts)
#include "test_basic_facts.moc"
