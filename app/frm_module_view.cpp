// What the operations show in the window (TfrmModule as ops::ModuleView): panels, readings, the
// lamp, what may be pressed, the busy cursor, the line setting and ID boxes.

#include "app/frm_module.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/colours.h"
#include "app/widgets.h"
#include "ops/visible_text.h"

using namespace colours;

Panel *TfrmModule::panelFor(ops::Field panel) const
{
    switch (panel) {
    case ops::Field::Msg: return pnMsg;
    case ops::Field::Serial: return pnSerial;
    case ops::Field::Version: return pnVersion;
    case ops::Field::Id: return pnID;
    case ops::Field::Status: return pnStatus;
    }
    Q_UNREACHABLE();
    return nullptr;
}

QWidget *TfrmModule::controlFor(ops::Control control) const
{
    switch (control) {
    case ops::Control::btnExit: return btnExit;
    case ops::Control::btnScan: return btnScan;
    case ops::Control::btnFactory: return btnFactory;
    case ops::Control::btnID: return btnID;
    case ops::Control::btnBaudRate: return btnBaudRate;
    case ops::Control::btnStatus: return btnStatus;
    case ops::Control::btnPrint: return btnPrint;
    case ops::Control::gbDefault: return gbDefault;
    }
    return nullptr;
}

QPushButton *TfrmModule::languageButton(int language) const
{
    return findChild<QPushButton *>(QLatin1String(kLanguages[language].button));
}

void TfrmModule::setPanelText(ops::Field panel, const QString &text)
{
    // S/N, version, ID and status hold what the module sent, control characters and all.
    panelFor(panel)->setText(panel == ops::Field::Msg ? text : ops::visibleText(text));
}

QString TfrmModule::panelText(ops::Field panel) const
{
    return panelFor(panel)->text();
}

void TfrmModule::showReading(ops::Reading reading, const QString &value)
{
    // What the module sent is shown with its control characters visible.
    const QString shown = ops::visibleText(value);
    switch (reading) {
    case ops::Reading::Serial:
        pnSerial->setText(uiText(Text::SerialNumber) + QStringLiteral(" : ") + shown);
        break;
    case ops::Reading::Version:
        pnVersion->setText(uiText(Text::Version) + QStringLiteral(" : ") + shown);
        break;
    case ops::Reading::Id:
        pnID->setText(shown);
        break;
    case ops::Reading::Status:
        pnStatus->setText(shown);
        break;
    }
}

void TfrmModule::clearReadings()
{
    pnSerial->setText(uiText(Text::SerialNumber) + QStringLiteral(" : ________"));
    pnVersion->setText(uiText(Text::Version) + QStringLiteral(" : __.__-__"));
    pnID->setText(QStringLiteral("__"));
}

void TfrmModule::setLamp(ops::LampColour colour)
{
    shComm->setFill(colour == ops::LampColour::Yellow ? kYellow : kRed);
}

void TfrmModule::setWindowEnabled(bool enabled)
{
    // Disabling drops the keyboard focus; the control that had it gets it back afterwards,
    // so the keyboard user carries on where they were.
    if (!enabled) {
        if (QWidget *focus = QApplication::focusWidget(); focus && focus->window() == this)
            m_focusBeforeDisable = focus;
        setEnabled(false);
        return;
    }
    setEnabled(true);
    if (m_focusBeforeDisable && m_focusBeforeDisable->isEnabled() && !QApplication::focusWidget())
        m_focusBeforeDisable->setFocus();
    m_focusBeforeDisable = nullptr;
}

void TfrmModule::setBusyCursor(bool busy)
{
    if (busy == m_busyCursor)
        return;
    m_busyCursor = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TfrmModule::SetBusy(bool busy)
{
    if (busy) {
        tmrBusy->start();
        setWindowEnabled(false);
    } else {
        setWindowEnabled(true);
        tmrBusy->stop();
    }
}

void TfrmModule::selectBaudRate(int index)
{
    cmbBaudRate->setCurrentIndex(index >= 0 && index < cmbBaudRate->count() ? index : -1);
}

int TfrmModule::selectedBaudRate() const
{
    return cmbBaudRate->currentIndex();
}

void TfrmModule::setIdPosition(int position)
{
    sbID->setValue(position);
}

bool TfrmModule::lockChecked() const
{
    return chkLock->isChecked();
}

QString TfrmModule::printText() const
{
    return edText->text();
}

QString TfrmModule::uiText(Text entry) const
{
    return uiTextFor(entry);
}

void TfrmModule::setControlEnabled(ops::Control control, bool enabled)
{
    if (QWidget *widget = controlFor(control))
        widget->setEnabled(enabled);
}

void TfrmModule::setLanguageButtonEnabled(int language, bool enabled)
{
    if (language >= 0 && language < kLanguageCount)
        languageButton(language)->setEnabled(enabled);
}

QString TfrmModule::processCaption() const
{
    return btnProcess->text();
}

void TfrmModule::setProcessCaption(const QString &caption)
{
    btnProcess->setText(caption);
}
