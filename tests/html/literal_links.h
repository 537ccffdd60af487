// A slow, literal model of link extraction, written with the character
// string functions exactly as the steps read: tokens are cut by deleting them
// from the front of the text, names are searched in a lower-cased copy. The
// tests (and the fuzz target) compare the linear scanner with it on small
// pages. Quadratic: for small inputs only.
#pragma once

#include <string>

#include "util/char_string.h"
#include "util/string_list.h"

namespace tovra::test {

inline std::string LastChar(const std::string& text) { return CharCopy(text, CharLength(text), 1); }

inline void LiteralTokenize(const TStringList& lines, TStringList& tokens) {
  int i = 0;
  while (i < lines.Count()) {
    std::string text = CharTrim(lines[i]);
    while (LastChar(text) != ">") {
      ++i;
      if (i >= lines.Count()) break;
      text = text + " " + CharTrim(lines[i]);
    }
    while (!text.empty()) {
      std::string token;
      if (CharCopy(text, 1, 1) == "<") {
        const int p = CharPos(">", text);
        if (p == 0) {  // unclosed tag at the end: the rest is one token
          token = text;
          text.clear();
        } else {
          token = CharCopy(text, 1, p);
          CharDelete(text, 1, p);
        }
      } else {
        const int p = CharPos("<", text);
        if (p > 0) {
          token = CharCopy(text, 1, p - 1);
          CharDelete(text, 1, p - 1);
        } else {
          token = text;
          text.clear();
        }
      }
      tokens.Add(token);
    }
    ++i;
  }
}

inline std::string LiteralValueOfTag(const std::string& token) {
  static const char* const kNames[] = {" src", " href", " background", " tracingsrc"};
  static const char* const kProperties[] = {"background-image:", "list-style-image:"};
  std::string value;
  for (const char* name : kNames) {
    const std::string lower = CharLowerCase(token);
    const int p = CharPos(name, lower);
    if (p > 0) {
      std::string rest = token;
      CharDelete(rest, 1, p + CharLength(name) - 1);
      value = CharTrim(rest);
    }
  }
  for (const char* property : kProperties) {
    const std::string lower = CharLowerCase(token);
    if (CharPos(property, lower) > 0) {
      std::string inner = CharCopy(token, CharPos("(", lower) + 1, CharLength(token));
      const int close = CharPos(")", inner);
      inner = close > 0 ? CharCopy(inner, 1, close - 1) : std::string();
      value = "=\"" + inner + "\"";
    }
  }
  return value;
}

inline void LiteralExtractTagLinks(const TStringList& tokens, TStringList& links) {
  for (const std::string& token : tokens) {
    if (CharCopy(token, 1, 1) != "<") continue;
    std::string value = LiteralValueOfTag(token);
    if (value.empty() || CharCopy(value, 1, 1) != "=") continue;
    CharDelete(value, 1, 1);
    value = CharTrim(value);
    const std::string q = CharCopy(value, 1, 1);
    if (q != "\"" && q != "'") continue;
    CharDelete(value, 1, 1);
    const int t = CharPos(q, value);
    if (t == 0) continue;
    value = CharCopy(value, 1, t - 1);
    if (CharCopy(value, 1, 7) == "http://" || CharCopy(value, 1, 7) == "file://") continue;
    if (CharPos("#", value) > 0) {
      TStringList pieces;
      SplitString(pieces, value, "#");
      value = pieces.Count() > 0 ? pieces[0] : std::string();
    }
    if (CharPos("?", value) > 0) value = CharCopy(value, 1, CharPos("?", value) - 1);
    if (CharCopy(value, 1, 7) == "mailto:") continue;
    if (!value.empty()) links.Add(value);
  }
}

}  // namespace tovra::test
