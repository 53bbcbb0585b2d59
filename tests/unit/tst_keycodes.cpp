#include "core/keys/keycodes.h"

#include <QTest>

class TestKeyCodes : public QObject
{
    Q_OBJECT
private slots:
    void virtualKeyCode_data();
    void virtualKeyCode();
    void commandLetter_data();
    void commandLetter();
};

void TestKeyCodes::virtualKeyCode_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("code");

    const Qt::KeyboardModifiers none;
    const Qt::KeyboardModifiers pad = Qt::KeypadModifier;
    QTest::newRow("A") << int(Qt::Key_A) << none << 65;
    QTest::newRow("Z") << int(Qt::Key_Z) << none << 90;
    QTest::newRow("Shift+I is I") << int(Qt::Key_I) << Qt::KeyboardModifiers(Qt::ShiftModifier) << 73;
    QTest::newRow("Ctrl+A is A") << int(Qt::Key_A) << Qt::KeyboardModifiers(Qt::ControlModifier) << 65;
    QTest::newRow("digit 0") << int(Qt::Key_0) << none << 48;
    QTest::newRow("digit 9") << int(Qt::Key_9) << none << 57;
    QTest::newRow("keypad 0") << int(Qt::Key_0) << pad << 96;
    QTest::newRow("keypad 1") << int(Qt::Key_1) << pad << 97;
    QTest::newRow("keypad 9") << int(Qt::Key_9) << pad << 105;
    QTest::newRow("keypad *") << int(Qt::Key_Asterisk) << pad << 106;
    QTest::newRow("keypad +") << int(Qt::Key_Plus) << pad << 107;
    QTest::newRow("keypad -") << int(Qt::Key_Minus) << pad << 109;
    QTest::newRow("keypad decimal") << int(Qt::Key_Period) << pad << 110;
    QTest::newRow("keypad decimal comma") << int(Qt::Key_Comma) << pad << 110;
    QTest::newRow("keypad /") << int(Qt::Key_Slash) << pad << 111;
    QTest::newRow("keypad Home, Num Lock off") << int(Qt::Key_Home) << pad << 36;
    QTest::newRow("keypad Up, Num Lock off") << int(Qt::Key_Up) << pad << 38;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << pad << 13;
    QTest::newRow("F1") << int(Qt::Key_F1) << none << 112;
    QTest::newRow("F3") << int(Qt::Key_F3) << none << 114;
    QTest::newRow("F12") << int(Qt::Key_F12) << none << 123;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << none << 27;
    QTest::newRow("Page Up") << int(Qt::Key_PageUp) << none << 33;
    QTest::newRow("Page Down") << int(Qt::Key_PageDown) << none << 34;
    QTest::newRow("End") << int(Qt::Key_End) << none << 35;
    QTest::newRow("Home") << int(Qt::Key_Home) << none << 36;
    QTest::newRow("Left") << int(Qt::Key_Left) << none << 37;
    QTest::newRow("Up") << int(Qt::Key_Up) << none << 38;
    QTest::newRow("Right") << int(Qt::Key_Right) << none << 39;
    QTest::newRow("Down") << int(Qt::Key_Down) << none << 40;
    QTest::newRow("Space") << int(Qt::Key_Space) << none << 32;
    QTest::newRow("Return") << int(Qt::Key_Return) << none << 13;
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << none << 8;
    QTest::newRow("Tab") << int(Qt::Key_Tab) << none << 9;
    QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab) << Qt::KeyboardModifiers(Qt::ShiftModifier) << 9;
    QTest::newRow("Insert") << int(Qt::Key_Insert) << none << 45;
    QTest::newRow("Delete") << int(Qt::Key_Delete) << none << 46;
    QTest::newRow("Shift alone") << int(Qt::Key_Shift) << Qt::KeyboardModifiers(Qt::ShiftModifier) << 16;
    // Punctuation depends on the layout: no code, rather than a wrong one.
    QTest::newRow("period") << int(Qt::Key_Period) << none << 0;
    QTest::newRow("exclamation mark") << int(Qt::Key_Exclam) << none << 0;
    QTest::newRow("unknown") << int(Qt::Key_unknown) << none << 0;
    QTest::newRow("no key") << 0 << none << 0;
}

void TestKeyCodes::virtualKeyCode()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, code);
    QCOMPARE(keycodes::virtualKeyCode(key, modifiers), code);
}

void TestKeyCodes::commandLetter_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("letter");

    QTest::newRow("I key") << 73 << QStringLiteral("i");
    QTest::newRow("keypad 9 reads as i") << 105 << QStringLiteral("i");
    QTest::newRow("J key") << 74 << QStringLiteral("j");
    QTest::newRow("keypad 1 reads as a") << 97 << QStringLiteral("a");
    QTest::newRow("F3 reads as r") << 114 << QStringLiteral("r");
    QTest::newRow("digit stays") << 49 << QStringLiteral("1");
    QTest::newRow("no code") << 0 << QString(QChar());
    QTest::newRow("out of range") << 0x10000 << QString(QChar());
}

void TestKeyCodes::commandLetter()
{
    QFETCH(int, code);
    QFETCH(QString, letter);
    QCOMPARE(QString(keycodes::commandLetter(code)), letter);
}

QTEST_APPLESS_MAIN(TestKeyCodes)
#include "tst_keycodes.moc"
