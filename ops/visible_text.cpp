#include "ops/visible_text.h"

#include "platform/code_page.h"

namespace ops {

QString visibleText(const QString &text, Backslash backslash)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else if (u == u'\\' && backslash == Backslash::Doubled)
            out += QStringLiteral("\\\\");
        else
            out += c;
    }
    return out;
}

QString visibleBytes(const std::string &bytes)
{
    return visibleText(QString::fromStdString(platform::fromCodePage(bytes, std::string())), Backslash::Kept);
}

std::string localBytes(const QString &text)
{
    return platform::toCodePage(text.toStdString(), std::string());
}

} // namespace ops
