#include "tools/console_view.h"

#include <algorithm>
#include <cstdio>

#include "link/commands.h"
#include "tools/output.h"

namespace tools {

ConsoleView::ConsoleView(int languageIndex, bool progress, bool beep)
    : m_language(std::clamp(languageIndex, 0, kLanguageCount - 1)), m_progress(progress), m_beep(beep)
{
    m_caption = uiText(Text::ProcessPrint);
}

void ConsoleView::setPanelText(ops::Field panel, const QString &text)
{
    m_panels[panel] = text;
    if (panel == ops::Field::Msg && m_progress)
        tell(text);
}

QString ConsoleView::panelText(ops::Field panel) const
{
    const auto it = m_panels.find(panel);
    return it == m_panels.end() ? QString() : it->second;
}

void ConsoleView::showReading(ops::Reading reading, const QString &value)
{
    m_readings[reading] = value;
    if (reading == ops::Reading::Id)
        m_panels[ops::Field::Id] = value;   // the ID panel shows it, and Set Module ID reads it there
}

void ConsoleView::clearReadings()
{
    m_readings.clear();
    m_panels[ops::Field::Id] = QStringLiteral("__");
}

QString ConsoleView::reading(ops::Reading reading) const
{
    const auto it = m_readings.find(reading);
    return it == m_readings.end() ? QString() : it->second;
}

void ConsoleView::setLamp(ops::LampColour colour)
{
    m_yellow = colour == ops::LampColour::Yellow;
}

void ConsoleView::selectBaudRate(int index)
{
    const int selected = index >= 0 && index < kBaudRateCount ? index : -1;
    // The window's combo box shows the line setting being tried; here it is a progress line.
    if (selected != m_selected && selected >= 0 && m_progress)
        tell(QStringLiteral("  ") + uiText(Text::BaudRate) + QStringLiteral(" : ")
             + QString::fromLatin1(BaudRateList[std::size_t(selected)]));
    m_selected = selected;
}

void ConsoleView::setIdPosition(int position)
{
    // The scroll bar keeps its position within 1..99 and shows a change in the ID panel.
    const int clamped = std::clamp(position, 1, 99);
    if (clamped != m_idPosition)
        setPanelText(ops::Field::Id, QString::asprintf("%02d", clamped));
    m_idPosition = clamped;
}

void ConsoleView::chooseId(int id)
{
    setIdPosition(id);
    setPanelText(ops::Field::Id, QString::asprintf("%02d", m_idPosition));
}

QString ConsoleView::uiText(Text entry) const
{
    return textIn(entry, m_language);
}

void ConsoleView::processLinePrinted()
{
    ++m_lines;
    if (onLinePrinted)
        onLinePrinted(m_lines);
}

void ConsoleView::portNote(const QString &note)
{
    if (m_notes.insert(note).second)
        tell(QStringLiteral("telmax-cmd: ") + note);
}

void ConsoleView::tone(int, int)
{
    if (m_beep) {
        std::fputc('\a', stderr);
        std::fflush(stderr);
    }
}

} // namespace tools
