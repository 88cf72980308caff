#include "SettingValues.h"

namespace vx {

namespace {

// The text up to its first blank; empty when there is no blank ("384  Kbps" gives "384").
QString FirstWord(const QString& AText) {
    const qsizetype blank = AText.indexOf(' ');
    return blank < 0 ? QString() : AText.left(blank);
}

bool IsDigits(const QString& AText) {
    if (AText.isEmpty())
        return false;
    for (const QChar c : AText)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

bool IsPositiveDecimal(const QString& AText) {
    int points = 0;
    bool digits = false;
    bool nonZero = false;
    for (const QChar c : AText) {
        if (c == '.') {
            if (++points > 1)
                return false;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            nonZero = nonZero || c != '0';
        } else {
            return false;
        }
    }
    return digits && nonZero;
}

namespace {

// A whole number that fits the engine's 32-bit rates; unreadable otherwise.
TSettingValue NumberValue(const QString& ADigits) {
    bool ok = false;
    const int value = IsDigits(ADigits) ? ADigits.toInt(&ok, 10) : 0;
    TSettingValue result;
    result.Readable = ok;
    if (ok)
        result.Number = value;
    return result;
}

TSettingValue TextValue(const std::string& AText) {
    TSettingValue result;
    result.Text = AText;
    return result;
}

} // namespace

TSettingValue VideoBitrateValue(const QString& ALabel) {
    return NumberValue(FirstWord(ALabel) + "000");
}

TSettingValue AudioBitrateValue(const QString& ALabel) {
    // "Original" (the AVI profiles) has no number: the task then sends no audio bitrate and the
    // encoder's default applies.
    if (ALabel == QLatin1String("Original"))
        return {};
    QString number = FirstWord(ALabel);
    if (ALabel.contains(QLatin1String("Kbps")))
        number += "000";
    return NumberValue(number);
}

TSettingValue SampleRateValue(const QString& ALabel) {
    return NumberValue(FirstWord(ALabel));
}

TSettingValue FrameSizeValue(const QString& ALabel) {
    if (ALabel == QLatin1String("Original Video Size") || ALabel == QLatin1String("Auto"))
        return {};
    // "176 x 144 (QCIF)" and "320 x 240 " both come out as WxH.
    const qsizetype bracket = ALabel.indexOf('(');
    QString size = bracket < 0 ? ALabel : ALabel.left(bracket);
    size.remove(' ');
    return TextValue(size.toStdString());
}

TSettingValue FrameRateValue(const QString& ALabel) {
    const QString key = ALabel.trimmed().toLower();
    if (key == QLatin1String("auto") || ALabel.isEmpty())
        return {};
    if (key == QLatin1String("pal"))
        return TextValue("25");
    if (key == QLatin1String("ntsc"))
        return TextValue("29.97");
    // The engine gets the number exactly as the list shows it, so "14.985" stays "14.985".
    const QString rate = FirstWord(ALabel);
    return TextValue(IsPositiveDecimal(rate) ? rate.toStdString() : "25");
}

} // namespace vx
