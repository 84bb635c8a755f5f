#pragma once
// The monitor's own Japanese texts, kept in this one file (see shared/sjis.h:
// UTF-8 literals, code page 932 bytes at use).
//
// Placeholders: "%s" a text, "%p" a code address; FillText replaces them in
// order of appearance.

#include <initializer_list>
#include <string>
#include <string_view>

#include "shared/sjis.h"

namespace tol {

// The settings file (path) can't be written at close.
inline const SjisText kCannotWriteText{"%s に書き込めません"};
// The export file (full path) can't be created, for the system's reason.
inline const SjisText kCannotCreateFileText{"ファイル \"%s\". %s を作成できません"};
// Head of an error-log report: failure kind, module file name, address.
inline const SjisText kFailureReportText{"%s がモジュール %s の %p で発生しました。"};

// Replaces each "%s" and "%p" of `tmpl`, left to right, by the next argument
// (by nothing once the arguments run out); everything else, any other "%"
// included, is copied. Arguments are never scanned for placeholders.
std::string FillText(std::string_view tmpl, std::initializer_list<std::string_view> args);

}  // namespace tol
