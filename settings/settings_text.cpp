// SPDX-License-Identifier: GPL-3.0-or-later
// Settings as text: the writers, the readers of a JSON object and of "name=value", the comparison.
#include "settings/settings_text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <iterator>

#include "settings/c_format.h"
#include "settings/field_rules.h"
#include "settings/field_table.h"

using namespace settings_text;

std::string ShortestFloatText(float value) {
  char buffer[400];  // a double's longest fixed form, for the fallback below
  const auto print = [&](auto number) {
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::fixed);
    return error == std::errc{} ? std::string(buffer, end) : std::string("0");
  };
  const std::string text = print(value);
  // The rules read a double and round it to single precision. Of all finite floats, two (and their
  // negatives, 0x15AE43FD among them) have a shortest text whose double lies at a midpoint between
  // two floats; the double's own shortest text is the float's exact value and reads back exactly.
  const float back = FloatEntry(0.0F, text, std::string::npos);
  return std::bit_cast<std::uint32_t>(back) == std::bit_cast<std::uint32_t>(value)
             ? text
             : print(static_cast<double>(value));
}

std::string SettingsJson(const TModuleSettings& record) {
  std::string out = "{\n";
  bool first = true;
  ForEachShown(record, [&](const std::string& name, const Shown& v) {
    out += first ? "" : ",\n";
    first = false;
    // Names and texts go through the library's quoting; numbers keep the digits chosen for them.
    out += "  " + nlohmann::json(name).dump() + ": " + (v.quoted ? nlohmann::json(v.text).dump() : v.text);
  });
  return out + "\n}\n";
}

std::string SettingsLines(const TModuleSettings& record) {
  std::string out;
  ForEachShown(record, [&](const std::string& name, const Shown& v) { out += name + " = " + v.text + "\n"; });
  return out;
}

namespace {

using Json = nlohmann::json;

// The characters the parser has taken, so that a refusal of this reader's own (a list where a
// value belongs) has its line and column as the parser's do.
class CountingIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;
  CountingIterator(const char* at, std::size_t* taken) : at_(at), taken_(taken) {}
  reference operator*() const { return *at_; }
  CountingIterator& operator++() {
    ++at_;
    ++*taken_;
    return *this;
  }
  CountingIterator operator++(int) {
    CountingIterator before = *this;
    ++*this;
    return before;
  }
  bool operator==(const CountingIterator& other) const { return at_ == other.at_; }

 private:
  const char* at_;
  std::size_t* taken_;
};

std::string LineColumn(std::string_view text, std::size_t offset) {
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      ++column;  // a character, not the continuation of one
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

bool InNumber(char c) { return IsDigit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'; }
// What a literal or a number is made of, to find where one that did not parse begins.
bool InToken(char c) { return InNumber(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

constexpr const char* kValueExpected = "a number, a text in double quotes, true or false expected";
constexpr const char* kNotAValue = "a field takes a number, a text, true or false, not a list or an object";

// The library's words for what went wrong, said in this project's words, in the order they are
// looked for: what it met, then what it expected.
struct Wording {
  const char* part;
  const char* message;
};
constexpr Wording kMet[] = {
    {"missing closing quote", "a text ends without its closing quote"},
    {"control character", "a control character inside a text (write it as an escape)"},
    {"must be followed by 4 hex digits", "four hex digits expected after \\u"},
    {"forbidden character after backslash", "unknown escape in a text"},
    {"surrogate", "a \\u escape that is half a character"},
    {"ill-formed UTF-8", "a text that is not UTF-8"},
    {"invalid BOM", "a byte order mark that is not UTF-8's"},
};
constexpr Wording kExpected[] = {
    {"end of input", "text after the closing brace"},
    {"':'", "':' expected"},
    {"string literal", "a field's name in double quotes expected"},
    {"'}'", "',' or '}' expected"},
};

// A flat object of fields; the parser is the library's, the refusals say where in this project's
// words.
class FieldsReader : public nlohmann::json_sax<Json> {
 public:
  FieldsReader(std::string_view text, const std::size_t& taken, std::vector<TextProblem>& problems)
      : text_(text), taken_(taken), problems_(problems) {}
  std::vector<FieldValue> values;

  bool null() override { return depth_ == 0 ? NoObject() : Refuse(taken_ - 4, kValueExpected); }
  bool boolean(bool value) override { return Add(FieldValue::Type::Bool, value ? "true" : "false"); }
  bool number_integer(number_integer_t) override { return Number(); }
  bool number_unsigned(number_unsigned_t) override { return Number(); }
  bool number_float(number_float_t, const string_t&) override { return Number(); }
  bool string(string_t& value) override { return Add(FieldValue::Type::Text, value); }
  bool binary(binary_t&) override { return false; }  // no JSON text holds one
  bool start_object(std::size_t) override {
    if (depth_++ > 0) return Refuse(taken_ - 1, kNotAValue);
    started_ = true;
    return true;
  }
  bool key(string_t& name) override {
    name_ = name;
    return true;
  }
  bool end_object() override {
    --depth_;
    return true;
  }
  bool start_array(std::size_t) override { return depth_ == 0 ? NoObject() : Refuse(taken_ - 1, kNotAValue); }
  bool end_array() override { return true; }

  bool parse_error(std::size_t position, const std::string& last,
                   const nlohmann::detail::exception& e) override {
    const std::string what = e.what();
    const std::size_t at = position > 0 ? position - 1 : 0;  // the character that did not fit
    if (what.find("number overflow") != std::string::npos)
      return Refuse(NumberStart(position), "a number beyond any field's range");
    if (!started_) return NoObject();
    // "05": the parser reads the 0 as a number and stops at the 5.
    const std::size_t start = TokenStart(at);
    const std::size_t zero = start + (start < text_.size() && text_[start] == '-' ? 1 : 0);
    if (what.find("unexpected number literal") != std::string::npos && zero + 1 < text_.size() &&
        text_[zero] == '0' && IsDigit(text_[zero + 1]))
      return Refuse(zero, "a number in JSON does not start with 0 (write 5, not 05)");
    // The library says "<what it met>; expected <what fits>; last read: ...".
    const std::size_t dash = what.find(" - ");
    const std::string said = dash == std::string::npos ? what : what.substr(dash + 3);
    const std::string met = said.substr(0, said.find("; "));
    const std::size_t from = said.find("; expected ");
    const std::string expected = from == std::string::npos
                                     ? std::string()
                                     : said.substr(from + 11, said.find("; ", from + 2) - from - 11);
    for (const Wording& w : kMet)
      if (met.find(w.part) != std::string::npos) return Refuse(at, w.message);
    if (met == "unexpected end of input") return Refuse(at, "the text ends before its closing brace");
    // A text or a number that does not belong where it stands is pointed at from its first character.
    const std::size_t where = met == "unexpected string literal" && position >= last.size()
                                  ? position - last.size()
                              : met == "unexpected number literal" ? start
                                                                   : at;
    for (const Wording& w : kExpected)
      if (expected == w.part) return Refuse(where, w.message);
    if (met.starts_with("invalid literal") || met.starts_with("invalid number"))
      return Refuse(start, kValueExpected);
    if (expected == "'[', '{', or a literal") return Refuse(where, kValueExpected);
    return Refuse(at, said);
  }

 private:
  // A number is kept as written, for the field's rule to read: the parser's value would lose a
  // sign of zero and the digits.
  bool Number() {
    const std::size_t start = NumberStart(taken_);
    std::size_t end = start;
    while (end < text_.size() && InNumber(text_[end])) ++end;
    return Add(FieldValue::Type::Number, std::string(text_.substr(start, end - start)));
  }
  // Where the number just read begins; the parser may have read one character past it.
  std::size_t NumberStart(std::size_t taken) const {
    std::size_t end = std::min(taken, text_.size());
    while (end > 0 && !InNumber(text_[end - 1])) --end;
    while (end > 0 && InNumber(text_[end - 1])) --end;
    return end;
  }
  // The first character of the literal or number that at is in or just after.
  std::size_t TokenStart(std::size_t at) const {
    std::size_t start = std::min(at, text_.size());
    if (start < text_.size() && !InToken(text_[start]) && start > 0 && InToken(text_[start - 1])) --start;
    while (start > 0 && start < text_.size() && InToken(text_[start]) && InToken(text_[start - 1])) --start;
    return start;
  }
  bool Add(FieldValue::Type type, std::string text) {
    if (depth_ == 0) return NoObject();
    values.push_back({name_, type, std::move(text)});
    return true;
  }
  // Anything but an object: refused where the text begins.
  bool NoObject() {
    std::size_t first = text_.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (first < text_.size() &&
           (text_[first] == ' ' || text_[first] == '\t' || text_[first] == '\n' || text_[first] == '\r'))
      ++first;
    return Refuse(first, "'{' expected");
  }
  bool Refuse(std::size_t offset, const std::string& message) {
    problems_.push_back({LineColumn(text_, offset), message});
    return false;
  }

  std::string_view text_;
  const std::size_t& taken_;
  std::vector<TextProblem>& problems_;
  int depth_ = 0;
  bool started_ = false;
  std::string name_;
};

}  // namespace

std::vector<FieldValue> ParseSettingsJson(std::string_view text, std::vector<TextProblem>& problems) {
  std::size_t taken = 0;
  FieldsReader reader(text, taken, problems);
  const CountingIterator first(text.data(), &taken), last(text.data() + text.size(), &taken);
  if (!Json::sax_parse(first, last, &reader) || !problems.empty()) return {};
  // The parser takes a NUL for the end of the text; what follows it is no part of a good one.
  if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
    problems.push_back({LineColumn(text, nul), "a NUL character in the text"});
    return {};
  }
  return std::move(reader.values);
}

std::optional<FieldValue> ParseAssignment(std::string_view text, TextProblem& problem) {
  const auto trim = [](std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
  };
  const std::size_t eq = text.find('=');
  if (eq == std::string_view::npos || trim(text.substr(0, eq)).empty()) {
    problem = {std::string(text), "FIELD=VALUE expected"};
    return std::nullopt;
  }
  FieldValue v;
  v.name = trim(text.substr(0, eq));
  v.text = trim(text.substr(eq + 1));
  if (v.text == "true" || v.text == "false") {
    v.type = FieldValue::Type::Bool;
  } else if (IsDecimal(v.text) || IsExponentNumber(v.text)) {
    v.type = FieldValue::Type::Number;
  } else {
    v.type = FieldValue::Type::Text;
  }
  return v;
}

std::vector<FieldDifference> CompareSettings(const TModuleSettings& a, const TModuleSettings& b,
                                             CompareScope scope) {
  std::vector<FieldDifference> differences;
  const auto compare = [&](const Field& f) {
    if (scope != CompareScope::File && f.region == Region::Aux) return;
    if (scope == CompareScope::Written && (f.rule == Rule::Number || f.rule == Rule::Year)) return;
    bool same = false;
    if (f.kind == Kind::Hex) {
      same = std::memcmp(At(a, f), At(b, f), static_cast<std::size_t>(f.arg)) == 0;
    } else if (f.kind == Kind::Float && scope != CompareScope::File) {
      same = Raw(a, f) >> 8 == Raw(b, f) >> 8;  // the low byte never reaches a module
      // Below what the dialogs show, a value is what the engineer meant either way.
      if (!same && scope == CompareScope::Written)
        same = CFormat("%f", static_cast<double>(std::bit_cast<float>(Raw(a, f)))) ==
               CFormat("%f", static_cast<double>(std::bit_cast<float>(Raw(b, f))));
    } else {
      same = Raw(a, f) == Raw(b, f);
    }
    if (!same) differences.push_back({f.name, ValueOf(a, f).text, ValueOf(b, f).text});
  };
  ForEachField(compare);
  return differences;
}

namespace {

// The bytes a module holds alike.
bool SameInModule(const TModuleSettings& a, const TModuleSettings& b) {
  return std::memcmp(&a.ChanSet, &b.ChanSet, sizeof a.ChanSet) == 0 &&
         std::memcmp(&a.SysSet, &b.SysSet, sizeof a.SysSet) == 0;
}

}  // namespace

ReadsVerdict JudgeReads(std::span<const TModuleSettings> reads, int wanted) {
  if (static_cast<int>(reads.size()) < wanted) return ReadsVerdict::ReadAgain;
  if (wanted <= 1) return ReadsVerdict::Taken;
  if (reads.size() == 2)
    return SameInModule(reads[0], reads[1]) ? ReadsVerdict::Taken : ReadsVerdict::ReadAgain;
  return SameInModule(reads[2], reads[0]) || SameInModule(reads[2], reads[1]) ? ReadsVerdict::Taken
                                                                              : ReadsVerdict::Undecided;
}

std::string ReadsDiffer(const TModuleSettings& a, const TModuleSettings& b, const TModuleSettings& c) {
  const auto ab = CompareSettings(a, b, CompareScope::File);
  const auto ac = CompareSettings(a, c, CompareScope::File);
  std::string text;
  // Every field where any two differ appears in ab or ac: where a agrees with both, b and c agree.
  std::vector<std::string> named;
  const auto valueIn = [](const std::vector<FieldDifference>& d, const std::string& name,
                          const std::string& otherwise) {
    for (const FieldDifference& f : d)
      if (f.name == name) return f.b;
    return otherwise;
  };
  for (const auto* list : {&ab, &ac})
    for (const FieldDifference& f : *list) {
      if (std::find(named.begin(), named.end(), f.name) != named.end()) continue;
      named.push_back(f.name);
      text +=
          "\n  " + f.name + ": " + f.a + " | " + valueIn(ab, f.name, f.a) + " | " + valueIn(ac, f.name, f.a);
    }
  return text;
}
