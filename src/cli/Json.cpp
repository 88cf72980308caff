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
    // A file name's bytes that are not UTF-8 are lone surrogates U+DC80..U+DCFF in the text
    // (FileNameToUTF8); they are written as "\udcXX", so that a reader can get the bytes back.
    BeforeValue();
    FText += '"';
    qsizetype start = 0;
    const auto flush = [&](qsizetype AEnd) {
        const QByteArray utf8 = AText.mid(start, AEnd - start).toUtf8();
        Escaped(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
    };
    for (qsizetype i = 0; i < AText.size(); ++i) {
        const char16_t u = AText[i].unicode();
        const bool paired = i > 0 && AText[i - 1].isHighSurrogate();
        if (u >= 0xDC80 && u <= 0xDCFF && !paired) {
            flush(i);
            static const char hex[] = "0123456789abcdef";
            FText += "\\udc";
            FText += hex[(u >> 4) & 0xf];
            FText += hex[u & 0xf];
            start = i + 1;
        }
    }
    flush(AText.size());
    FText += '"';
    return *this;
}

TJsonWriter& TJsonWriter::String(const std::u16string& AText) {
    return String(QString::fromStdU16String(AText));
}

TJsonWriter& TJsonWriter::StringOrNull(const std::optional<QString>& AText) {
    return AText ? String(*AText) : Null();
}

void TJsonWriter::Quoted(std::string_view AUtf8) {
    FText += '"';
    Escaped(AUtf8);
    FText += '"';
}

void TJsonWriter::Escaped(std::string_view AUtf8) {
    // A round trip through QString replaces every invalid sequence.
    const QByteArray valid = QString::fromUtf8(AUtf8.data(), static_cast<qsizetype>(AUtf8.size())).toUtf8();
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
}

} // namespace vx::cli
