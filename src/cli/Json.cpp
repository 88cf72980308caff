#include "Json.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace vx::cli {

void TJsonWriter::BeforeValue() {
    if (FAfterKey) {
        FAfterKey = false;
        return;
    }
    if (!FEmpty.empty()) {
        if (!FEmpty.back())
            FText += ',';
        FEmpty.back() = false;
    }
}

void TJsonWriter::Raw(std::string_view AText) {
    FText.append(AText);
}

TJsonWriter& TJsonWriter::BeginObject() {
    BeforeValue();
    FText += '{';
    FEmpty.push_back(true);
    return *this;
}

TJsonWriter& TJsonWriter::EndObject() {
    if (FEmpty.empty() || FAfterKey)
        throw std::logic_error("JSON: no object to close");
    FEmpty.pop_back();
    FText += '}';
    return *this;
}

TJsonWriter& TJsonWriter::BeginArray() {
    BeforeValue();
    FText += '[';
    FEmpty.push_back(true);
    return *this;
}

TJsonWriter& TJsonWriter::EndArray() {
    if (FEmpty.empty() || FAfterKey)
        throw std::logic_error("JSON: no array to close");
    FEmpty.pop_back();
    FText += ']';
    return *this;
}

TJsonWriter& TJsonWriter::Key(std::string_view AKey) {
    BeforeValue();
    Quoted(AKey);
    FText += ':';
    FAfterKey = true;
    return *this;
}

TJsonWriter& TJsonWriter::Null() {
    BeforeValue();
    Raw("null");
    return *this;
}

TJsonWriter& TJsonWriter::Bool(bool AValue) {
    BeforeValue();
    Raw(AValue ? "true" : "false");
    return *this;
}

TJsonWriter& TJsonWriter::Int(int64_t AValue) {
    BeforeValue();
    Raw(std::to_string(AValue));
    return *this;
}

namespace {

template <typename T> std::string ShortestText(T AValue) {
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof(buffer), AValue);
    if (error != std::errc())
        throw std::logic_error("JSON: number does not fit");
    return std::string(buffer, end);
}

} // namespace

TJsonWriter& TJsonWriter::Number(double AValue) {
    if (!std::isfinite(AValue))
        return Null();
    BeforeValue();
    Raw(ShortestText(AValue));
    return *this;
}

TJsonWriter& TJsonWriter::Number(float AValue) {
    if (!std::isfinite(AValue))
        return Null();
    // As a float, so that 0.7f reads "0.7" and not the double nearest to it.
    BeforeValue();
    Raw(ShortestText(AValue));
    return *this;
}

TJsonWriter& TJsonWriter::String(std::string_view AUtf8) {
    BeforeValue();
    Quoted(AUtf8);
    return *this;
}

TJsonWriter& TJsonWriter::String(const QString& AText) {
    const QByteArray utf8 = AText.toUtf8();
    return String(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

TJsonWriter& TJsonWriter::String(const std::u16string& AText) {
    return String(QString::fromStdU16String(AText));
}

TJsonWriter& TJsonWriter::StringOrNull(const std::optional<QString>& AText) {
    return AText ? String(*AText) : Null();
}

void TJsonWriter::Quoted(std::string_view AUtf8) {
    // A round trip through QString replaces every invalid sequence.
    const QByteArray valid = QString::fromUtf8(AUtf8.data(), static_cast<qsizetype>(AUtf8.size())).toUtf8();
    FText += '"';
    for (const char c : valid) {
        switch (c) {
        case '"':
            FText += "\\\"";
            break;
        case '\\':
            FText += "\\\\";
            break;
        case '\n':
            FText += "\\n";
            break;
        case '\r':
            FText += "\\r";
            break;
        case '\t':
            FText += "\\t";
            break;
        case '\b':
            FText += "\\b";
            break;
        case '\f':
            FText += "\\f";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static const char hex[] = "0123456789abcdef";
                FText += "\\u00";
                FText += hex[(c >> 4) & 0xf];
                FText += hex[c & 0xf];
            } else {
                FText += c;
            }
        }
    }
    FText += '"';
}

} // namespace vx::cli
