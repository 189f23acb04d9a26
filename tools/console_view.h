#pragma once
// The main window as a terminal sees it: the operations of ops/ run against this view exactly
// as against the window. Panels become lines (the message panel's progress on stderr as it
// changes), the lamp a word, the tones nothing or a terminal bell.

#include <functional>
#include <map>
#include <optional>
#include <set>

#include "ops/module_view.h"

namespace tools {

class ConsoleView final : public ops::ModuleView {
public:
    ConsoleView(int languageIndex, bool progress, bool beep);

    void setPanelText(ops::Field panel, const QString &text) override;
    QString panelText(ops::Field panel) const override;
    void showReading(ops::Reading reading, const QString &value) override;
    void clearReadings() override;
    void setLamp(ops::LampColour colour) override;
    void setWindowEnabled(bool) override {}
    void setBusyCursor(bool) override {}
    void SetBusy(bool) override {}
    void selectBaudRate(int index) override;
    int selectedBaudRate() const override { return m_selected; }
    void setIdPosition(int position) override;
    bool lockChecked() const override { return m_lock; }
    QString printText() const override { return m_text; }
    QString uiText(Text entry) const override;
    void setControlEnabled(ops::Control, bool) override {}
    void setLanguageButtonEnabled(int, bool) override {}
    QString processCaption() const override { return m_caption; }
    void setProcessCaption(const QString &caption) override { m_caption = caption; }
    void processLinePrinted() override;
    void portNotOpened(const QString &reason) override { m_portProblem = reason; }
    // On stderr, each note once.
    void portNote(const QString &note) override;

    // What the verbs set before they run an operation (the controls a user would have set).
    void setLock(bool lock) { m_lock = lock; }
    void chooseId(int id);   // the scroll bar moved to id, the ID panel showing it
    void setText(const QString &text) { m_text = text; }
    // Called with the count after each printed line of the continuous test.
    std::function<void(int lines)> onLinePrinted;

    // The tone: nothing, or a bell with --beep.
    void tone(int hz, int ms);

    bool lampYellow() const { return m_yellow; }
    int linesPrinted() const { return m_lines; }
    void resetLines() { m_lines = 0; }
    // Why the port of the last operation did not open; nothing when it opened (or was not tried).
    const std::optional<QString> &portProblem() const { return m_portProblem; }
    void forgetPortProblem() { m_portProblem.reset(); }
    // A value read from the module as it came; empty when none was read.
    QString reading(ops::Reading reading) const;

private:
    int m_language;
    bool m_progress;
    bool m_beep;
    std::map<ops::Field, QString> m_panels;
    std::map<ops::Reading, QString> m_readings;
    bool m_yellow = false;   // the lamp starts red
    int m_selected = -1;
    int m_idPosition = 1;
    bool m_lock = true;
    QString m_text;
    QString m_caption;
    int m_lines = 0;
    std::optional<QString> m_portProblem;
    std::set<QString> m_notes;
};

} // namespace tools
