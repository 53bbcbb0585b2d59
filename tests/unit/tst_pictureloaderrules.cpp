#include "core/geometry/scalemodes.h"
#include "core/rules/pictureloaderrules.h"

#include <QTest>

using namespace picture_loader;

Q_DECLARE_METATYPE(picture_loader::ExtensionClass)
Q_DECLARE_METATYPE(picture_loader::Route)

class TestPictureLoaderRules : public QObject
{
    Q_OBJECT
private slots:
    void statusText_data();
    void statusText();
    void statusErrorKeepsLineBreak_data();
    void statusErrorKeepsLineBreak();
    void errorTextsByteForByte_data();
    void errorTextsByteForByte();
    void trimming_data();
    void trimming();
    void classification_data();
    void classification();
    void routes_data();
    void routes();
    void decodeFailures_data();
    void decodeFailures();
    void scaleModeStep_data();
    void scaleModeStep();
};

void TestPictureLoaderRules::statusText_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("utf8");
    QTest::newRow("0 has no entry") << 0 << QByteArray();
    QTest::newRow("-1") << -1 << QByteArray();
    QTest::newRow("21 beyond the table") << 21 << QByteArray();
    QTest::newRow("huge") << 2147483647 << QByteArray();
    QTest::newRow("1") << 1 << QByteArray("fehlerhafte Initialisierung");
    QTest::newRow("2") << 2 << QByteArray("Ungeeigneter Parameter");
    QTest::newRow("3") << 3 << QByteArray("Speichermangel");
    QTest::newRow("4") << 4 << QByteArray("GDIPlus ist noch besch\xc3\xa4" "ftigt");
    QTest::newRow("5") << 5 << QByteArray("Buffer zu klein");
    QTest::newRow("6 empty") << 6 << QByteArray();
    QTest::newRow("7") << 7 << QByteArray("Windows32-Fehler");
    QTest::newRow("8") << 8 << QByteArray("Falscher interner Zustand");
    QTest::newRow("9") << 9 << QByteArray("Abbruch der Operation");
    QTest::newRow("10") << 10 << QByteArray("Datei nicht gefunden");
    QTest::newRow("11") << 11 << QByteArray("Wert-\xc3\x9c" "berlauf");
    QTest::newRow("12") << 12 << QByteArray("Zugriff verweigert");
    QTest::newRow("13") << 13 << QByteArray("unbekanntes Bildformat");
    QTest::newRow("14 empty") << 14 << QByteArray();
    QTest::newRow("15 empty") << 15 << QByteArray();
    QTest::newRow("16 empty") << 16 << QByteArray();
    QTest::newRow("17") << 17 << QByteArray("GDIPlus-Version wird nicht unterst\xc3\xbc" "tzt");
    QTest::newRow("18") << 18 << QByteArray("Keine GDIPlus-Verbindung");
    QTest::newRow("19") << 19 << QByteArray("Eigenschaft nicht gefunden");
    QTest::newRow("20") << 20 << QByteArray("Eigenschaft wird nicht unterst\xc3\xbc" "tzt");
}

void TestPictureLoaderRules::statusText()
{
    QFETCH(int, status);
    QFETCH(QByteArray, utf8);
    QCOMPARE(decoderStatusText(status).toUtf8(), utf8);
}

void TestPictureLoaderRules::statusErrorKeepsLineBreak_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("utf8");
    QTest::newRow("no connection") << 18 << QByteArray("Initialisierung scheitert\r\nKeine GDIPlus-Verbindung");
    QTest::newRow("empty entry keeps CR LF") << 6 << QByteArray("Initialisierung scheitert\r\n");
    QTest::newRow("outside the table keeps CR LF") << 0 << QByteArray("Initialisierung scheitert\r\n");
}

void TestPictureLoaderRules::statusErrorKeepsLineBreak()
{
    QFETCH(int, status);
    QFETCH(QByteArray, utf8);
    QCOMPARE(statusErrorText(StartupFailedText, status).toUtf8(), utf8);
}

void TestPictureLoaderRules::errorTextsByteForByte_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("utf8");
    QTest::newRow("name") << BadFileNameText << QByteArray("Ungeeigneter Dateiname");
    QTest::newRow("missing") << FileMissingText << QByteArray("Datei nicht vorhanden/verf\xc3\xbc" "gbar");
    QTest::newRow("empty") << EmptyFileText << QByteArray("Leere Datei");
    QTest::newRow("format") << UnsupportedFormatText << QByteArray("Bildformat wird nicht unterst\xc3\xbc" "tzt");
    QTest::newRow("startup") << StartupFailedText << QByteArray("Initialisierung scheitert");
    QTest::newRow("platform") << PlatformLoadFailedText << QByteArray("Laden des Bildes scheitert (Loadpicture)");
    QTest::newRow("from file") << BitmapFromFileFailedText
                               << QByteArray("Bitmap kann nicht aus Bild-Datei erstellt werden");
    QTest::newRow("handle") << HandleFailedText << QByteArray("Bitmap-Handle kann nicht erzeugt werden");
    QTest::newRow("from handle") << PictureFromHandleFailedText
                                 << QByteArray("Bitmap kann nicht aus Handle erstellt werden");
}

void TestPictureLoaderRules::errorTextsByteForByte()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, utf8);
    QCOMPARE(text.toUtf8(), utf8);
}

void TestPictureLoaderRules::trimming_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("trimmed");
    QTest::newRow("both ends") << "  a.png  " << "a.png";
    QTest::newRow("spaces only") << "     " << "";
    QTest::newRow("inner spaces stay") << " my cam.jpg" << "my cam.jpg";
    QTest::newRow("tabs are not spaces") << "\ta.png\t" << "\ta.png\t";
    QTest::newRow("nothing to cut") << "a.png" << "a.png";
}

void TestPictureLoaderRules::trimming()
{
    QFETCH(QString, name);
    QFETCH(QString, trimmed);
    QCOMPARE(trimSpaces(name), trimmed);
}

void TestPictureLoaderRules::classification_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<ExtensionClass>("cls");
    const auto B = ExtensionClass::Bitmap;
    const auto I = ExtensionClass::IconOrMetafile;
    const auto D = ExtensionClass::DecoderFormat;
    const auto U = ExtensionClass::Unsupported;
    QTest::newRow("bmp") << "photo.bmp" << B;
    QTest::newRow("dib") << "photo.DIB" << B;
    QTest::newRow("rle") << "photo.rle" << B;
    QTest::newRow("ico") << "photo.ico" << I;
    QTest::newRow("cur") << "photo.Cur" << I;
    QTest::newRow("emf") << "photo.emf" << I;
    QTest::newRow("wmf") << "photo.wmf" << I;
    QTest::newRow("gif") << "photo.gif" << D;
    QTest::newRow("png upper") << "ARCHIVE.PNG" << D;
    QTest::newRow("png lower") << "archive.png" << D;
    QTest::newRow("tif") << "photo.tif" << D;
    QTest::newRow("tiff") << "photo.tiff" << D;
    QTest::newRow("jpe") << "photo.jpe" << D;
    QTest::newRow("jpg") << "photo.jpg" << D;
    QTest::newRow("JPEG by ext5") << "photo.JPEG" << D;
    QTest::newRow("jfif") << "photo.jfif" << D;
    QTest::newRow("webp") << "photo.webp" << U;
    QTest::newRow("no dot") << "photojpg" << U;
    QTest::newRow("jpg anywhere before") << "x.bmp.jpg" << D;
    QTest::newRow("only the end counts") << "x.jpg.bmp" << B;
    QTest::newRow("ext5 without dot is nothing") << "photoxjpeg" << U;
    QTest::newRow("classified untrimmed") << "photo.tiff " << U;
    QTest::newRow("path with dots") << "/tmp/a.png/cam.gif" << D;
}

void TestPictureLoaderRules::classification()
{
    QFETCH(QString, name);
    QFETCH(ExtensionClass, cls);
    QCOMPARE(classifyExtension(name), cls);
}

void TestPictureLoaderRules::routes_data()
{
    QTest::addColumn<ExtensionClass>("cls");
    QTest::addColumn<Route>("route");
    QTest::newRow("bitmap") << ExtensionClass::Bitmap << Route::Platform;
    QTest::newRow("icon") << ExtensionClass::IconOrMetafile << Route::Platform;
    QTest::newRow("png") << ExtensionClass::DecoderFormat << Route::Decoder;
    QTest::newRow("other") << ExtensionClass::Unsupported << Route::Refused;
}

void TestPictureLoaderRules::routes()
{
    QFETCH(ExtensionClass, cls);
    QFETCH(Route, route);
    QCOMPARE(routeFor(cls), route);
}

void TestPictureLoaderRules::decodeFailures_data()
{
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("text");
    QTest::newRow("unknown format") << int(DecodeFailure::UnknownFormat) << "unbekanntes Bildformat";
    QTest::newRow("corrupt") << int(DecodeFailure::CorruptData) << "Ungeeigneter Parameter";
    QTest::newRow("too large") << int(DecodeFailure::TooLarge) << "Speichermangel";
    QTest::newRow("gone") << int(DecodeFailure::FileNotFound) << "Datei nicht gefunden";
    QTest::newRow("denied") << int(DecodeFailure::AccessDenied) << "Zugriff verweigert";
    QTest::newRow("read error") << int(DecodeFailure::ReadError) << "Windows32-Fehler";
    QTest::newRow("given up") << int(DecodeFailure::Cancelled) << "Abbruch der Operation";
}

void TestPictureLoaderRules::decodeFailures()
{
    QFETCH(int, failure);
    QFETCH(QString, text);
    QCOMPARE(decoderStatusText(decodeFailureStatus(DecodeFailure(failure))), text);
}

void TestPictureLoaderRules::scaleModeStep_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("option");
    QTest::newRow("Stretch") << "Stretch" << 2 << 0;
    QTest::newRow("Scale Inline") << "Scale Inline" << 3 << 1;
    QTest::newRow("Scale Outline") << "Scale Outline" << 1 << 2;
    QTest::newRow("case matters") << "Scale inline" << 0 << -1;
    QTest::newRow("other") << "Random Cam" << 0 << -1;
    QTest::newRow("empty") << "" << 0 << -1;
}

void TestPictureLoaderRules::scaleModeStep()
{
    QFETCH(QString, caption);
    QFETCH(int, item);
    QFETCH(int, option);
    QCOMPARE(scale_modes::nextMenuItem(caption), item);
    QCOMPARE(scale_modes::optionForMenuText(caption), option);
}

QTEST_APPLESS_MAIN(TestPictureLoaderRules)
#include "tst_pictureloaderrules.moc"
