#include "app/workingfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestWorkingFiles : public QObject
{
    Q_OBJECT
private slots:
    void removesOnlyOwnFiles();
};

void TestWorkingFiles::removesOnlyOwnFiles()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QDir dir(tmp.path());
    const QStringList ours{"temp.tmp", "temp.jpg", "temp.JPG", "temp.jfif", "temp.ico", "temp.tiff", "temp.png"};
    const QStringList theirs{"temp.docx", "temp.txt", "temp.bmp", "temp.Jpg", "mytemp.tmp", "temp"};
    for (const QString &name : ours + theirs) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
    }

    working_files::removeAll(dir);

    for (const QString &name : ours)
        QVERIFY2(!dir.exists(name), qPrintable(name));
    for (const QString &name : theirs)
        QVERIFY2(dir.exists(name), qPrintable(name));

    // Nothing there any more is no error either.
    working_files::removeAll(dir);
    QCOMPARE(dir.entryList(QDir::Files).size(), theirs.size());
}

QTEST_APPLESS_MAIN(TestWorkingFiles)
#include "tst_workingfiles.moc"
