#pragma once
// The window's colours by name: the sixteen VGA colours its pictures and captions use, and the
// title-bar colour of an active window in the classic desktop scheme, which Qt has no role for.

#include <QColor>

namespace colours {

inline const QColor kBlack(0, 0, 0);
inline const QColor kMaroon(128, 0, 0);
inline const QColor kGreen(0, 128, 0);
inline const QColor kOlive(128, 128, 0);
inline const QColor kNavy(0, 0, 128);
inline const QColor kPurple(128, 0, 128);
inline const QColor kTeal(0, 128, 128);
inline const QColor kGrey(128, 128, 128);
inline const QColor kSilver(192, 192, 192);
inline const QColor kRed(255, 0, 0);
inline const QColor kLime(0, 255, 0);
inline const QColor kYellow(255, 255, 0);
inline const QColor kBlue(0, 0, 255);
inline const QColor kFuchsia(255, 0, 255);
inline const QColor kAqua(0, 255, 255);
inline const QColor kWhite(255, 255, 255);
inline const QColor kActiveCaption(10, 36, 106);

} // namespace colours
