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

}  // namespace tol
