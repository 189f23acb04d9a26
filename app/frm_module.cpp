#include "app/frm_module.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>

#include "app/pictures.h"
#include "app/widgets.h"
#include "ops/operations.h"
#include "ops/start_up.h"

namespace {

// Every language's button is a push button of the component table.
constexpr bool everyLanguageHasItsButton()
{
    for (const Language &language : kLanguages) {
        const std::size_t button = app::componentIndex(language.button);
        if (button >= std::size(app::kComponents) || app::kComponents[button].kind != app::Kind::Button)
            return false;
    }
    return true;
}
static_assert(everyLanguageHasItsButton(), "kLanguages names a button that is no Button row of kComponents");

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        return true;
    default:
        return false;
    }
}

} // namespace

TfrmModule::TfrmModule(QWidget *parent) : QWidget(parent)
{
    buildLayout();
    bindEvents();
    FormCreate();
}

TfrmModule::~TfrmModule()
{
    setBusyCursor(false);
}

void TfrmModule::bindEvents()
{
    connect(btnScan, &QPushButton::clicked, this, &TfrmModule::btnScanClick);
    connect(sbID, &QScrollBar::valueChanged, this, &TfrmModule::sbIDChange);
    connect(btnID, &QPushButton::clicked, this, &TfrmModule::btnIDClick);
    connect(btnBaudRate, &QPushButton::clicked, this, &TfrmModule::btnBaudRateClick);
    // The second activation that stops a running test must arrive inside the first one's
    // message handling, as a nested call; a queued connection would wait for it to end.
    connect(btnProcess, &QPushButton::clicked, this, &TfrmModule::btnProcessClick, Qt::DirectConnection);
    connect(btnFactory, &QToolButton::clicked, this, &TfrmModule::btnFactoryClick);
    // A close button: it closes the window itself and never runs btnExitClick.
    connect(btnExit, &QPushButton::clicked, this, &TfrmModule::closeFromExit);
    for (int language = 0; language < kLanguageCount; ++language)
        connect(languageButton(language), &QPushButton::clicked, this, [this, language] { selectLanguage(language); });
    connect(btnPrint, &QPushButton::clicked, this, &TfrmModule::btnPrintClick);
    connect(btnStatus, &QPushButton::clicked, this, &TfrmModule::btnStatusClick);
    connect(tmrBusy, &QTimer::timeout, this, &TfrmModule::tmrBusyTimer);

    // A logout or shutdown must not be held up by the window that refuses to close.
    qApp->installEventFilter(this);
#ifndef QT_NO_SESSIONMANAGER
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { m_closing = true; });
#endif
}

void TfrmModule::FormCreate()
{
    ops::startUp();
    // No close box: only btnExit ends the program.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint);
    cmbBaudRate->setCurrentIndex(ops::rememberedLineSetting());
}

void TfrmModule::FormShow()
{
    setWindowTitle(uiText(Text::Title));
    pnVOREX->setText(uiText(Text::Company));
    pnMsg->setText(uiText(Text::StartScan));
    pnSerial->setText(uiText(Text::SerialNumber) + QStringLiteral(" : ________"));
    pnVersion->setText(uiText(Text::Version) + QStringLiteral(" : __.__-__"));
    lblID->setText(uiText(Text::Id) + QStringLiteral(":"));
    lblBaudRate->setText(uiText(Text::BaudRate) + QStringLiteral(":"));
    btnScan->setText(uiText(Text::ScanModule));
    btnID->setText(uiText(Text::SetId));
    btnBaudRate->setText(uiText(Text::SetBaudRateReset));
    btnStatus->setText(uiText(Text::GetStatus));
    btnPrint->setText(uiText(Text::PrintText));
    btnProcess->setText(uiText(Text::ProcessPrint));
    gbDefault->setTitle(uiText(Text::QuickSetting));
    pcDefault->setTabText(0, uiText(Text::Default));
    btnFactory->setText(QStringLiteral("(") + uiText(Text::FactoryDefault) + QStringLiteral(")"));
    btnExit->setText(uiText(Text::Exit));
}

void TfrmModule::showEvent(QShowEvent *event)
{
    if (!m_shownOnce) {
        m_shownOnce = true;
        // Centred on the desktop the first time; the frame is the window manager's to add.
        if (const QScreen *desktop = screen()) {
            const QRect area = desktop->availableGeometry();
            const QRect outline(QPoint(), frameGeometry().size());
            move(area.center() - outline.center());
        }
        FormShow();
    }
    QWidget::showEvent(event);
}

void TfrmModule::closeEvent(QCloseEvent *event)
{
    if (m_closing)
        event->accept();
    else
        event->ignore();
}

bool TfrmModule::eventFilter(QObject *watched, QEvent *event)
{
    // The application is being asked to quit (the session ending, or the platform's own
    // request); that is not the title bar's close, so the window lets itself be closed.
    if (watched == qApp && event->type() == QEvent::Quit)
        m_closing = true;
    if (m_operationRunning && isUserInput(event->type())) {
        if (auto *widget = qobject_cast<QWidget *>(watched); widget && widget->window() == this)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmModule::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        QWidget *focus = focusWidget();
        // A focused button answers Enter itself; any other control hands it to btnScan.
        if (auto *tool = qobject_cast<QToolButton *>(focus)) {
            tool->click();
            return;
        }
        if (!qobject_cast<QPushButton *>(focus) && btnScan->isEnabled()) {
            btnScan->click();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void TfrmModule::closeFromExit()
{
    m_closing = true;
    close();
}

void TfrmModule::btnExitClick()
{
    closeFromExit();
}

void TfrmModule::selectLanguage(int index)
{
    ops::chooseLanguage(index);
    FormShow();
}

// Clicks and keys made while an operation runs belong to no operation: the window is disabled
// for most of it, and a disabled window drops its input. Input still queued when the operation
// ends (made while it slept, or beeped, without handling messages) is dropped here as well,
// rather than run as a second operation the user never saw enabled.
void TfrmModule::runOperation(void (*operation)(ops::ModuleView &))
{
    if (m_operationRunning)
        return;
    m_operationRunning = true;
    operation(*this);
    ops::pumpMessages();
    m_operationRunning = false;
}

void TfrmModule::btnScanClick() { runOperation(ops::scanModule); }
void TfrmModule::btnIDClick() { runOperation(ops::setModuleId); }
void TfrmModule::btnBaudRateClick() { runOperation(ops::setModuleBaudRate); }
void TfrmModule::btnFactoryClick() { runOperation(ops::factoryDefault); }
void TfrmModule::btnStatusClick() { runOperation(ops::getPrintStatus); }
void TfrmModule::btnPrintClick() { runOperation(ops::printText); }
void TfrmModule::btnProcessClick() { ops::processTest(*this); }

void TfrmModule::sbIDChange()
{
    pnID->setText(QString::asprintf("%02d", sbID->value()));
}

void TfrmModule::tmrBusyTimer()
{
    if (tmrBusy->property("Tag").toInt() == 1) {
        tmrBusy->setProperty("Tag", 0);
        setLamp(ops::LampColour::Yellow);
    } else {
        tmrBusy->setProperty("Tag", 1);
        setLamp(ops::LampColour::Red);
    }
}
