// Which hosts go past the proxy.
#include "core/http/proxyrules.h"

#include <QTest>
#include <QUrl>

class TestProxyRules : public QObject
{
    Q_OBJECT
private slots:
    void forRequest_data();
    void forRequest();
    void withLoopback_data();
    void withLoopback();
    void upperCaseListOnlyWhenLowerIsEmpty();
};

void TestProxyRules::forRequest_data()
{
    QTest::addColumn<QString>("noProxy");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("exempt");

    QTest::newRow("http's own port") << "cams.example.test:80" << "http://cams.example.test/a.jpg" << "cams.example.test";
    QTest::newRow("https's own port") << "cams.example.test:443" << "https://cams.example.test/" << "cams.example.test";
    QTest::newRow("the port named") << "cams.example.test:8080" << "http://cams.example.test:8080/" << "cams.example.test";
    QTest::newRow("another port") << "cams.example.test:80" << "http://cams.example.test:8080/" << "";
    QTest::newRow("https's port, http asked") << "cams.example.test:443" << "http://cams.example.test/" << "";
    QTest::newRow("IPv6 address with a port") << "[fd00::1]:80, fd00::2" << "http://[fd00::1]/" << "fd00::1,fd00::2";
    QTest::newRow("entries without a port stay") << " a.test ,, 10.0.0.0/8,b.test:81 " << "http://a.test/"
                                                  << "a.test,10.0.0.0/8";
}

void TestProxyRules::forRequest()
{
    QFETCH(QString, noProxy);
    QFETCH(QString, address);
    QFETCH(QString, exempt);
    QCOMPARE(proxy_rules::forRequest(noProxy, QUrl(address)), exempt);
}

void TestProxyRules::withLoopback_data()
{
    QTest::addColumn<QString>("noProxy");
    QTest::addColumn<QString>("exempt");

    const QString loopback = QStringLiteral("localhost,127.0.0.0/8,::1");
    QTest::newRow("empty list") << "" << loopback;
    QTest::newRow("list with blanks and empty entries") << " a.test ,, 10.0.0.0/8 " << loopback + ",a.test,10.0.0.0/8";
    QTest::newRow("star among others") << "a.test, * " << "*";
}

void TestProxyRules::withLoopback()
{
    QFETCH(QString, noProxy);
    QFETCH(QString, exempt);
    QCOMPARE(proxy_rules::withLoopback(noProxy), exempt);
}

void TestProxyRules::upperCaseListOnlyWhenLowerIsEmpty()
{
    QCOMPARE(proxy_rules::noProxyList(QStringLiteral("a.test"), QStringLiteral("b.test")), QStringLiteral("a.test"));
    QCOMPARE(proxy_rules::noProxyList(QString(), QStringLiteral("b.test")), QStringLiteral("b.test"));
}

QTEST_APPLESS_MAIN(TestProxyRules)
#include "tst_proxyrules.moc"
