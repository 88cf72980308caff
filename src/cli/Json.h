// A small JSON writer for the command line's output. Members come out in the order they are
// written (a reader of --dry-run sees the record fields in their declared order), and 64-bit
// integers are written exactly: the "no timestamp" value must survive as its integer, which a
// writer that keeps numbers as doubles would round.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::cli {

class TJsonWriter {
public:
    TJsonWriter& BeginObject();
    TJsonWriter& EndObject();
    TJsonWriter& BeginArray();
    TJsonWriter& EndArray();
    // The name of the next member of the open object.
    TJsonWriter& Key(std::string_view AKey);

    TJsonWriter& Null();
    TJsonWriter& Bool(bool AValue);
    TJsonWriter& Int(int64_t AValue);
    // Shortest text that reads back as the same value; null for NaN and infinities, which JSON
    // cannot hold.
    TJsonWriter& Number(double AValue);
    TJsonWriter& Number(float AValue);
    // UTF-8 text; invalid sequences (metadata of a damaged file) become U+FFFD.
    TJsonWriter& String(std::string_view AUtf8);
    TJsonWriter& String(const QString& AText);
    TJsonWriter& String(const std::u16string& AText);
    TJsonWriter& String(const char* AText) { return String(std::string_view(AText)); }
    // The text, or null when there is none.
    TJsonWriter& StringOrNull(const std::optional<QString>& AText);

    // Key and value in one call.
    template <typename T> TJsonWriter& Field(std::string_view AKey, const T& AValue) {
        Key(AKey);
        return Value(AValue);
    }

    // The document so far; complete once every object and array is closed.
    const std::string& Text() const { return FText; }

private:
    TJsonWriter& Value(bool AValue) { return Bool(AValue); }
    TJsonWriter& Value(int32_t AValue) { return Int(AValue); }
    TJsonWriter& Value(int64_t AValue) { return Int(AValue); }
    TJsonWriter& Value(double AValue) { return Number(AValue); }
    TJsonWriter& Value(float AValue) { return Number(AValue); }
    TJsonWriter& Value(const std::string& AValue) { return String(AValue); }
    TJsonWriter& Value(const QString& AValue) { return String(AValue); }
    TJsonWriter& Value(const std::u16string& AValue) { return String(AValue); }
    TJsonWriter& Value(const char* AValue) { return String(AValue); }
    TJsonWriter& Value(std::nullptr_t) { return Null(); }

    void BeforeValue();
    void Raw(std::string_view AText);
    void Quoted(std::string_view AUtf8);
    // The string's characters with JSON's escapes, without the quotation marks.
    void Escaped(std::string_view AUtf8);

    std::string FText;
    // One entry per open object or array: whether it has no member yet.
    std::vector<bool> FEmpty;
    bool FAfterKey = false;
};

} // namespace vx::cli
