#pragma once
// What the module operations see of the main window: the captions, the lamp, the cursor,
// enabling, the scroll bar, the combo box and the few controls the continuous test touches.
// TfrmModule implements it; the operations never include QtWidgets.

#include <QByteArray>
#include <QString>

#include "texts/ui_text.h"

namespace ops {

// The window's panels: pnMsg, pnSerial, pnVersion, pnID, pnStatus. The operations write their
// messages to pnMsg and read the chosen ID from pnID; what they read from the module goes to
// showReading, and the view decides how to show it.
enum class Field { Msg, Serial, Version, Id, Status };
// A value read from the module: its S/N, ID and firmware version, the printer's status.
enum class Reading { Serial, Id, Version, Status };
enum class LampColour { Red, Yellow };

// The controls the continuous print test disables, in the order it disables and enables them;
// after them the language buttons, one for each language of kLanguages, in its order.
enum class Control { btnExit, btnScan, btnFactory, btnID, btnBaudRate, btnStatus, btnPrint, gbDefault };

class ModuleView {
public:
    virtual ~ModuleView() = default;

    virtual void setPanelText(Field panel, const QString &text) = 0;
    virtual QString panelText(Field panel) const = 0;
    // A reading as the module sent it (its characters as Latin-1; the printer status as its
    // words), control characters and all.
    virtual void showReading(Reading reading, const QString &value) = 0;
    // S/N, version and ID as not read yet: a scan has begun.
    virtual void clearReadings() = 0;
    virtual void setLamp(LampColour colour) = 0;                 // shComm fill
    virtual void setWindowEnabled(bool enabled) = 0;             // the whole main window
    virtual void setBusyCursor(bool busy) = 0;                   // crHourGlass / crDefault
    virtual void SetBusy(bool busy) = 0;                         // busy timer and window, in the fixed order
    virtual void selectBaudRate(int index) = 0;                  // cmbBaudRate selection
    virtual int selectedBaudRate() const = 0;                    // -1 when nothing is selected
    virtual void setIdPosition(int position) = 0;                // sbID; clamped to 1..99; sbIDChange runs when it changes
    virtual bool lockChecked() const = 0;                        // chkLock
    virtual QString printText() const = 0;                       // edText as typed; ops encodes it for the printer
    virtual QString uiText(Text entry) const = 0;                // UiText entry in the current language
    virtual void setControlEnabled(Control control, bool enabled) = 0;
    virtual void setLanguageButtonEnabled(int language, bool enabled) = 0;   // the button of kLanguages[language]
    virtual QString processCaption() const = 0;                  // btnProcess caption
    virtual void setProcessCaption(const QString &caption) = 0;
    // A pass of the continuous test has printed its line (a console counts them; the window
    // shows nothing for it).
    virtual void processLinePrinted() {}
    // The port of an operation did not open; reason says why and what to do (ops/port_messages.h).
    // The window says only its own message; a console tells the technician.
    virtual void portNotOpened(const QString &reason) { (void)reason; }
    // Something a technician should know about a port that opened (an FTDI lead whose latency
    // timer leaves the module's reply too little of the window). The window says nothing.
    virtual void portNote(const QString &note) { (void)note; }
};

} // namespace ops
