// The window's layout: the form, its components from the component table, and what each has
// beyond the table (colours, ranges, the print text box's rule).

#include "app/frm_module.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <climits>

#include "app/colours.h"
#include "app/components.h"
#include "app/pictures.h"
#include "app/widgets.h"
#include "ops/operations.h"
#include "ops/start_up.h"

using namespace colours;

namespace {

// Drop-down items of a fixed height, whatever the font asks for.
class FixedHeightDelegate : public QStyledItemDelegate {
public:
    FixedHeightDelegate(int height, QObject *parent) : QStyledItemDelegate(parent), m_height(height) {}
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(m_height);
        return size;
    }

private:
    int m_height;
};

void setColour(QWidget *widget, std::initializer_list<QPalette::ColorRole> roles, const QColor &colour)
{
    QPalette palette = widget->palette();
    for (QPalette::ColorRole role : roles)
        palette.setColor(role, colour);
    widget->setPalette(palette);
}

// A caption colour of an enabled control only: disabled, it takes the style's disabled text
// colour, or a button the continuous test has disabled would look usable.
void setCaptionColour(QWidget *widget, std::initializer_list<QPalette::ColorRole> roles, const QColor &colour)
{
    QPalette palette = widget->palette();
    for (QPalette::ColorRole role : roles)
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            palette.setColor(group, role, colour);
    widget->setPalette(palette);
}

void setPanelColours(Panel *panel, const QColor &foreground, const QColor &background)
{
    panel->setForeground(foreground);
    panel->setBackground(background);
}

template <typename T>
void bind(const QWidget &form, T *&member, const char *name)
{
    member = form.findChild<T *>(QLatin1String(name));
}

} // namespace

void TfrmModule::buildLayout()
{
    setObjectName(QStringLiteral("frmModule"));
    setFixedSize(560, 396);
    setFont(app::windowFont(16, true));
    setColour(this, {QPalette::Window}, palette().color(QPalette::Button));
    setAutoFillBackground(true);
    setWindowTitle(textIn(Text::Title, 0));   // English until the first show (FormShow)
    setWindowIcon(QIcon(QPixmap::fromImage(pictures::windowIcon())));

    app::createComponents(*this);
    bindComponents();
    decoratePanels();
    decorateControls();

    tmrBusy = new QTimer(this);
    tmrBusy->setObjectName(QStringLiteral("tmrBusy"));
    tmrBusy->setInterval(200);
    tmrBusy->setProperty("Tag", 0);
}

void TfrmModule::bindComponents()
{
#define TELMAX_BIND_COMPONENT(name, ...) bind(*this, name, #name);
    TELMAX_COMPONENTS(TELMAX_BIND_COMPONENT)
#undef TELMAX_BIND_COMPONENT
}

void TfrmModule::decoratePanels()
{
    const QColor highlight = palette().color(QPalette::Highlight);
    for (Panel *p : {pnSerial, pnVersion, pnID, pnStatus})
        setPanelColours(p, kYellow, highlight);
    setPanelColours(pnMsg, kWhite, kActiveCaption);
    pnMsg->setBevels(Panel::Bevel::Space, Panel::Bevel::Lowered, 1);
    shComm->setFill(kRed);

    setPanelColours(pnVOREX, kWhite, kPurple);
    pnVOREX->setText(textIn(Text::Company, 0));
    pnVOREX->setFont(app::windowFont(11, false, QStringLiteral("Microsoft Sans Serif")));
}

void TfrmModule::decorateControls()
{
    const QColor highlight = palette().color(QPalette::Highlight);
    const QColor windowText = palette().color(QPalette::WindowText);

    for (const app::Component &c : app::kComponents)
        if (c.kind == app::Kind::Button)   // a focused button answers Enter itself
            findChild<QPushButton *>(QLatin1String(c.name))->setAutoDefault(true);
    btnScan->setDefault(true);
    btnExit->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    btnExit->setIconSize(QSize(16, 16));
    // English's caption in red; the other languages' buttons show a picture.
    for (int language = 0; language < kLanguageCount; ++language)
        setCaptionColour(languageButton(language), {QPalette::ButtonText}, language == 0 ? kRed : windowText);

    for (QLabel *l : {lblID, lblBaudRate})
        l->setAlignment(Qt::AlignRight | Qt::AlignTop);

    sbID->setRange(1, 99);
    sbID->setValue(1);
    sbID->setSingleStep(1);
    sbID->setPageStep(10);
    sbID->setFocusPolicy(Qt::StrongFocus);

    cmbBaudRate->setEditable(false);
    cmbBaudRate->addItems(ops::lineSettingNames());
    cmbBaudRate->setCurrentIndex(-1);
    cmbBaudRate->setItemDelegate(new FixedHeightDelegate(20, cmbBaudRate));
    setColour(cmbBaudRate, {QPalette::Button, QPalette::Base}, highlight);
    setColour(cmbBaudRate, {QPalette::ButtonText, QPalette::Text}, kYellow);

    setCaptionColour(pcDefault, {QPalette::WindowText, QPalette::ButtonText}, windowText);
    pcDefault->setDocumentMode(true);   // flat tabs
    setCaptionColour(btnFactory, {QPalette::ButtonText}, windowText);
    btnFactory->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    btnFactory->setFocusPolicy(Qt::StrongFocus);

    edText->setMaxLength(INT_MAX);
    // The text goes out as one print command: control characters become spaces at once, and
    // no more goes in than the command carries in the printer's code page.
    edText->setValidator(new LimitedTextValidator(
        ops::printableText, [](const QString &text) { return ops::printTextBytes(text).size(); },
        std::size_t(ops::maxPrintTextBytes()), edText->text(), edText));

    chkLock->setChecked(true);
}
