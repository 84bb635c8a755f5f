#pragma once
// The assistant's own Japanese texts, kept in this one file (see shared/sjis.h:
// UTF-8 literals, code page 932 bytes at use).

#include "shared/sjis.h"

namespace tol {

// Log line tails of the fetch run: behind world name + file name text.
inline const SjisText kUpToDateSuffix{" => 更新済み"};
inline const SjisText kConvertedSuffix{" => 更新完了"};
// Last log line of a run that did not fail.
inline const SjisText kRunFinishedText{"= 取得終了 ="};

// A file can't be written: "%1" the file's path, "%2" the system's reason
// text (or kTooLargeReasonText).
inline const SjisText kCannotWriteFileText{"ファイル \"%1\" を書き込めません: %2"};
inline const SjisText kTooLargeReasonText{"ファイルが大きすぎます"};

// A file that exists can't be read in to be updated: "%1" the file's path.
inline const SjisText kCannotReadFileText{"ファイル \"%1\" を読み込めません"};

// The window of Zoneroll.exe: the labels above its edits, its buttons and the
// prompts of its two folder choices.
inline const SjisText kOutFolderLabelText{"ファイル出力先フォルダ"};
inline const SjisText kTolMapLabelText{"TolMap.ini"};
inline const SjisText kFileNameLabelText{"出力ファイル名"};
inline const SjisText kFetchButtonText{"取得"};
inline const SjisText kExitButtonText{"終了"};
inline const SjisText kChooseOutFolderText{"出力先ディレクトリを選択"};
inline const SjisText kChooseTolMapFolderText{"TolMap.iniのあるディレクトリを選択"};

// The program's folder has no name code page 932 can spell (and no short
// name that it can): the run log's line when the output folder falls back.
// "%1" the working directory's text.
inline const SjisText kOutFolderIsWorkingFolderText{
    "このプログラムのフォルダ名は Shift-JIS で表せないため、出力先を作業フォルダ %1 にしました。"};
inline const SjisText kOutFolderUnnamedText{
    "このプログラムのフォルダ名は Shift-JIS で表せないため、出力先は空欄にしました"
    "（作業フォルダに出力します）。右のボタンで出力先を選んでください。"};
// A folder choice that can't be taken: the first line, then the folder as
// the system names it, then the reason.
inline const SjisText kFolderNotSpellableText{"このフォルダは指定できません:"};
inline const SjisText kFolderNotSpellableReasonText{
    "フォルダ名を Shift-JIS で表せず、短い名前（8.3 形式）もありません。"
    "Shift-JIS で表せる名前のフォルダを選ぶか、フォルダ名を変えてください。"};

}  // namespace tol
