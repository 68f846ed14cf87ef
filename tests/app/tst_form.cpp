#include "app/widget.h"
#include "app/windowfont.h"
#include "emulator/linefactory.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QTest>

#include <memory>

namespace {

constexpr bool Enabled = true;
constexpr bool Disabled = false;
constexpr bool ReadOnly = true;
constexpr bool Editable = false;
constexpr int NoLengthLimit = 32767;
constexpr Qt::Alignment LeftAligned = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment RightAligned = Qt::AlignRight | Qt::AlignVCenter;

// One control as the window shows it right after start. `texts` is the caption or field text,
// or a combo box's items in index order.
struct ControlRow
{
    QByteArray className;
    QString objectName;
    QRect geometry;
    QStringList texts;
    bool enabled = Disabled;
    bool readOnly = Editable;
    int maxLength = NoLengthLimit;
    Qt::Alignment alignment = LeftAligned;
};

const QStringList slotItems = {"Slot 1", "Slot 2", "Slot 3", "Slot 4",
                               "Slot 5", "Slot 6", "Slot 7", "Slot 8"};
const QStringList clockItems = {"3,57 MHz", "3,68 MHz", "6,00 MHz", "8,00 MHz"};

// Every control of the window, in the order the form creates them.
QList<ControlRow> windowControls()
{
    return {
        {"QPushButton", "pushButton_GetStatus", {10, 70, 101, 23}, {"Get Status"}},
        {"QPushButton", "pushButton_ScanPorts", {10, 10, 101, 23}, {"ScanPorts"}, Enabled},
        {"QComboBox", "comboBox", {120, 10, 81, 20}, {}},
        {"QPushButton", "pushButton_OpenPorts", {210, 10, 81, 23}, {"OpenPort"}},
        {"QPushButton", "pushButton_ClosePorts", {300, 10, 81, 23}, {"ClosePort"}},
        {"QPushButton", "pushButton_Exit", {390, 10, 51, 23}, {"Exit"}, Enabled},
        {"QCheckBox", "checkBox_Slot0", {120, 130, 51, 20}, {"Slot 1"}},
        {"QCheckBox", "checkBox_Slot1", {120, 110, 51, 18}, {"Slot 2"}},
        {"QComboBox", "comboBox_SelectedSlot", {40, 100, 69, 22}, slotItems},
        {"QPushButton", "pushButton_SetSlot", {10, 130, 101, 23}, {"SetSlot"}},
        {"QCheckBox", "checkBox_Slot2", {180, 130, 51, 20}, {"Slot 3"}},
        {"QCheckBox", "checkBox_Slot3", {180, 110, 51, 20}, {"Slot 4"}},
        {"QCheckBox", "checkBox_Slot5", {120, 70, 51, 20}, {"Slot 6"}},
        {"QCheckBox", "checkBox_Slot4", {120, 90, 51, 20}, {"Slot 5"}},
        {"QCheckBox", "checkBox_Slot6", {180, 90, 51, 20}, {"Slot 7"}},
        {"QCheckBox", "checkBox_Slot7", {180, 70, 51, 20}, {"Slot 8"}},
        {"QPushButton", "pushButton_SetDTR", {170, 310, 61, 23}, {"SetDTR"}},
        {"QPushButton", "pushButton_ResetDTR", {240, 310, 61, 23}, {"ResetDTR"}},
        {"QPushButton", "pushButton_ResetRTS", {380, 310, 61, 23}, {"ResetRTS"}},
        {"QPushButton", "pushButton_SetRTS", {310, 310, 61, 23}, {"SetRTS"}},
        {"QPushButton", "pushButton_Version", {10, 40, 101, 23}, {"Get Info"}},
        {"QPushButton", "pushButton_ASCII", {10, 280, 101, 23}, {"ASCII Test"}},
        {"QLineEdit", "lineEdit_Version", {120, 40, 321, 20}, {""}, Disabled, ReadOnly},
        {"QComboBox", "comboBox_Freq_0", {120, 250, 69, 22}, clockItems},
        {"QLabel", "label", {200, 250, 31, 16}, {"Slot 1"}},
        {"QComboBox", "comboBox_Freq_1", {120, 220, 69, 22}, clockItems},
        {"QLabel", "label_2", {200, 220, 31, 16}, {"Slot 2"}},
        {"QComboBox", "comboBox_Freq_2", {240, 250, 69, 22}, clockItems},
        {"QComboBox", "comboBox_Freq_3", {240, 220, 69, 22}, clockItems},
        {"QLabel", "label_3", {320, 250, 31, 16}, {"Slot 3"}},
        {"QLabel", "label_4", {320, 220, 31, 16}, {"Slot 4"}},
        {"QComboBox", "comboBox_Freq_4", {120, 190, 69, 22}, clockItems},
        {"QLabel", "label_5", {200, 190, 31, 16}, {"Slot 5"}},
        {"QComboBox", "comboBox_Freq_5", {120, 160, 69, 22}, clockItems},
        {"QLabel", "label_6", {200, 160, 31, 16}, {"Slot 6"}},
        {"QComboBox", "comboBox_Freq_6", {240, 190, 69, 22}, clockItems},
        {"QLabel", "label_7", {320, 190, 31, 16}, {"Slot 7"}},
        {"QComboBox", "comboBox_Freq_7", {240, 160, 69, 22}, clockItems},
        {"QLabel", "label_8", {320, 160, 31, 16}, {"Slot 8"}},
        {"QPushButton", "pushButton_GetClks", {10, 160, 101, 23}, {"Get Clocks"}},
        {"QPushButton", "pushButton_SetClks", {10, 190, 101, 23}, {"Set Clocks"}},
        {"QPushButton", "pushButton_StoreClks", {10, 220, 101, 23}, {"Store Clocks"}},
        {"QPushButton", "pushButton_Display", {10, 250, 101, 23}, {"Display Test"}},
        {"QLineEdit", "lineEdit_ASCII", {120, 280, 101, 20}, {"a"}, Disabled, Editable, 16},
        {"QPushButton", "pushButton_Echo", {10, 310, 101, 23}, {"EchoTest"}},
        {"QLineEdit", "lineEdit_Echo", {120, 310, 41, 20}, {""}, Disabled, ReadOnly},
        {"QPushButton",
         "pushButton_wwwInfo",
         {240, 70, 141, 23},
         {"Info -  http://example.com/vorn"},
         Enabled},
        {"QPushButton", "pushButton_about", {390, 70, 51, 23}, {"About"}, Enabled},
        {"QPushButton", "pushButton_plus", {410, 170, 31, 23}, {"+"}},
        {"QPushButton", "pushButton_minus", {410, 220, 31, 23}, {"-"}},
        // The form leaves the preview code empty; the window writes the start character into it.
        {"QLineEdit",
         "lineEdit_Char",
         {410, 197, 31, 20},
         {"64"},
         Disabled,
         ReadOnly,
         NoLengthLimit,
         RightAligned},
        {"QPushButton", "pushButton_SetChar", {360, 250, 81, 23}, {"SetChar"}},
        {"QCheckBox", "checkBox_CardsChanged", {250, 100, 101, 18}, {"Status Changed"}},
        {"QCheckBox", "checkBox_CardsIn", {250, 120, 91, 18}, {"Cards In"}},
        {"QPushButton", "pushButton_SetTime", {380, 280, 61, 23}, {"SetTime"}},
        {"QLineEdit",
         "lineEdit_time",
         {310, 280, 41, 20},
         {""},
         Disabled,
         Editable,
         NoLengthLimit,
         RightAligned},
        {"QPushButton", "pushButton_getTime", {230, 280, 75, 23}, {"GetTime"}},
        {"QPushButton", "pushButton_TarvikStatus", {354, 100, 91, 23}, {"Tarvik Status"}},
        {"QPushButton", "pushButton_TarvikSetSlot", {354, 130, 91, 23}, {"Tarvik SetSlot"}},
        {"QLabel", "label_9", {360, 280, 16, 20}, {"s"}, Enabled},
    };
}

QStringList shownTexts(const QWidget *control)
{
    if (auto *combo = qobject_cast<const QComboBox *>(control)) {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        return items;
    }
    if (auto *button = qobject_cast<const QAbstractButton *>(control))
        return {button->text()};
    if (auto *label = qobject_cast<const QLabel *>(control))
        return {label->text()};
    if (auto *field = qobject_cast<const QLineEdit *>(control))
        return {field->text()};
    return {};
}

// The widest of `texts` in the control's font.
QSize widestText(const QWidget *control, const QStringList &texts)
{
    const QFontMetrics metrics = control->fontMetrics();
    QSize widest(0, metrics.height());
    for (const QString &text : texts)
        widest.setWidth(qMax(widest.width(), metrics.size(Qt::TextShowMnemonic, text).width()));
    return widest;
}

// The width the control needs to show the widest of `texts` whole, by its style's own measure:
// the text plus the frame, margins, indicator or arrow the style draws around it.
int widthNeeded(QWidget *control, const QStringList &texts)
{
    QStyle *style = control->style();
    const QSize text = widestText(control, texts);
    if (auto *combo = qobject_cast<QComboBox *>(control)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        return style->sizeFromContents(QStyle::CT_ComboBox, &option, text, combo).width();
    }
    if (auto *button = qobject_cast<QPushButton *>(control)) {
        // Measured as an empty button around the text: the style's minimum width for a
        // captioned button is a layout preference, not room the caption needs.
        QStyleOptionButton option;
        option.initFrom(button);
        return style->sizeFromContents(QStyle::CT_PushButton, &option, text, button).width();
    }
    if (auto *field = qobject_cast<QLineEdit *>(control)) {
        QStyleOptionFrame option;
        option.initFrom(field);
        option.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field);
        const QMargins margins = field->textMargins();
        constexpr int cursorRoom = 2 * 2; // the line edit's own margin on either side
        const QSize contents(text.width() + margins.left() + margins.right() + cursorRoom,
                             text.height());
        return style->sizeFromContents(QStyle::CT_LineEdit, &option, contents, field).width();
    }
    // Check boxes and labels measure their own text with the style.
    return control->sizeHint().width();
}

} // namespace

Q_DECLARE_METATYPE(ControlRow)

class FormTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void controlsMatchTheTable_data();
    void controlsMatchTheTable();
    void textsFitTheirControls_data();
    void textsFitTheirControls();
    void controlsAreCreatedAndFocusedInTableOrder();
    void controlsLieApartInsideTheWindow();
    void windowHasFixedSizeAndTitle();
    void asciiFieldRefusesSeventeenthCharacter();
    void onlyPortScanExitAndInfoButtonsStartEnabled();

private:
    QList<QWidget *> directChildWidgets() const;

    std::unique_ptr<Widget> window;
};

void FormTest::initTestCase()
{
    WindowFont::applyToApplication();
}

void FormTest::init()
{
    window = std::make_unique<Widget>();
}

void FormTest::cleanup()
{
    window.reset();
}

QList<QWidget *> FormTest::directChildWidgets() const
{
    return window->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
}

void FormTest::controlsMatchTheTable_data()
{
    QTest::addColumn<ControlRow>("expected");
    for (const ControlRow &row : windowControls())
        QTest::newRow(qPrintable(row.objectName)) << row;
}

void FormTest::controlsMatchTheTable()
{
    QFETCH(ControlRow, expected);
    auto *control = window->findChild<QWidget *>(expected.objectName, Qt::FindDirectChildrenOnly);
    QVERIFY(control);
    QCOMPARE(QByteArray(control->metaObject()->className()), expected.className);
    QCOMPARE(control->geometry(), expected.geometry);
    QCOMPARE(shownTexts(control), expected.texts);
    QCOMPARE(control->isEnabled(), expected.enabled);

    if (auto *field = qobject_cast<QLineEdit *>(control)) {
        QCOMPARE(field->isReadOnly(), expected.readOnly);
        QCOMPARE(field->maxLength(), expected.maxLength);
        QCOMPARE(field->alignment(), expected.alignment);
    }
    if (auto *box = qobject_cast<QCheckBox *>(control))
        QVERIFY(!box->isChecked());
    if (auto *combo = qobject_cast<QComboBox *>(control))
        QCOMPARE(combo->currentIndex(), expected.texts.isEmpty() ? -1 : 0);
}

void FormTest::textsFitTheirControls_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QStringList>("texts");
    for (const ControlRow &row : windowControls()) {
        QStringList texts = row.texts;
        // The port list starts empty; the emulated readers' names are always in it.
        if (row.objectName == QLatin1String("comboBox")) {
            for (const PortEntry &port : LineFactory::emulatedPorts())
                texts << port.name;
        }
        QTest::newRow(qPrintable(row.objectName)) << row.objectName << texts;
    }
}

void FormTest::textsFitTheirControls()
{
    QFETCH(QString, objectName);
    QFETCH(QStringList, texts);
    auto *control = window->findChild<QWidget *>(objectName, Qt::FindDirectChildrenOnly);
    QVERIFY(control);
    // Not by shrinking: an 8-point dialog font is 11 px at 96 dpi.
    QVERIFY(control->fontInfo().pixelSize() >= 11);
    const int needed = widthNeeded(control, texts);
    QVERIFY2(needed <= control->width(),
             qPrintable(QStringLiteral("%1 needs %2 px, has %3 (%4 at %5 px)")
                            .arg(texts.join(QLatin1String(" | ")))
                            .arg(needed)
                            .arg(control->width())
                            .arg(control->font().family())
                            .arg(control->fontInfo().pixelSize())));
}

void FormTest::controlsAreCreatedAndFocusedInTableOrder()
{
    QStringList tableOrder;
    for (const ControlRow &row : windowControls())
        tableOrder << row.objectName;

    QStringList creationOrder;
    for (const QWidget *control : directChildWidgets())
        creationOrder << control->objectName();
    QCOMPARE(creationOrder, tableOrder);

    // No tab order of its own: the keyboard walks the controls as they were created.
    QStringList focusOrder;
    for (QWidget *next = window->nextInFocusChain(); next != window.get();
         next = next->nextInFocusChain()) {
        if (next->parentWidget() == window.get())
            focusOrder << next->objectName();
    }
    QCOMPARE(focusOrder, tableOrder);
}

void FormTest::controlsLieApartInsideTheWindow()
{
    const QList<QWidget *> controls = directChildWidgets();
    QRect covered;
    for (qsizetype i = 0; i < controls.size(); ++i) {
        covered |= controls[i]->geometry();
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            QVERIFY2(
                !controls[i]->geometry().intersects(controls[j]->geometry()),
                qPrintable(controls[i]->objectName() + " overlaps " + controls[j]->objectName()));
        }
    }
    QCOMPARE(covered, QRect(QPoint(10, 10), QPoint(444, 332)));
}

void FormTest::windowHasFixedSizeAndTitle()
{
    QCOMPARE(window->objectName(), "Widget");
    QCOMPARE(window->size(), QSize(450, 343));
    QCOMPARE(window->minimumSize(), QSize(450, 343));
    QCOMPARE(window->maximumSize(), QSize(450, 343));

    const QString product = "Vorn Tool V1.0      ";
    QVERIFY2(window->windowTitle().startsWith(product), qPrintable(window->windowTitle()));
    QVERIFY(window->windowTitle().size() > product.size());
}

void FormTest::asciiFieldRefusesSeventeenthCharacter()
{
    auto *field = window->findChild<QLineEdit *>("lineEdit_ASCII");
    QVERIFY(field);
    field->setEnabled(true); // as an open port leaves it; a disabled field takes no keys at all
    field->clear();

    QTest::keyClicks(field, "0123456789abcdef");
    QCOMPARE(field->text(), "0123456789abcdef");
    QTest::keyClicks(field, "g");
    QCOMPARE(field->text(), "0123456789abcdef");
}

void FormTest::onlyPortScanExitAndInfoButtonsStartEnabled()
{
    QStringList enabledButtons;
    for (const QPushButton *button :
         window->findChildren<QPushButton *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (button->isEnabled())
            enabledButtons << button->objectName();
    }
    QCOMPARE(enabledButtons, QStringList({"pushButton_ScanPorts", "pushButton_Exit",
                                          "pushButton_wwwInfo", "pushButton_about"}));
}

QTEST_MAIN(FormTest)
#include "tst_form.moc"
