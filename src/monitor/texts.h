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

// The settings dialog (TForm2) and its version page. The blank after the
// program's name in the title is an ideographic space.
inline const SjisText kSettingsCaptionText{"Kovun設定"};
inline const SjisText kVersionPageText{"バージョン情報"};
inline const SjisText kVersionTitleText{"Kovun\u3000- TolvaneOnline Server Checker for Client"};
inline const SjisText kCreditsText{"制作: Kovun 開発者一同"};
inline const SjisText kStatusServiceText{"サーバー状態の情報元: Tolvane ステータスサービス"};

// The main context menu's entries beyond the worlds and patch servers.
inline const SjisText kShowUpdateTimeText{"更新時間を表示"};
inline const SjisText kAlwaysInFrontText{"常に手前に表示"};
inline const SjisText kTaskTrayText{"タスクトレイに入れる"};

// Alerts: world label, panel caption ("Arvel 3: 停止"). A server that
// flaps is told once, and once more when it has settled, with the state it
// settled in (one of the state words below).
inline const SjisText kAlertDownText{"%s %s: 停止"};
inline const SjisText kAlertUpText{"%s %s: 復旧"};
inline const SjisText kAlertUpSlowText{"%s %s: 復旧 (低速)"};
inline const SjisText kAlertFlappingText{"%s %s: フラッピング (停止と復旧を繰り返しています)"};
inline const SjisText kAlertSettledText{"%s %s: 安定しました (%s)"};
// Alerts of the status service as a whole: world label.
inline const SjisText kAlertUnreachableText{"%s: ステータスサービスに接続できません"};
inline const SjisText kAlertReachableText{"%s: ステータスサービス 復旧"};
// The service flaps (world label), and has settled (world label, state word).
inline const SjisText kAlertServiceFlappingText{
    "%s: ステータスサービス フラッピング (接続と切断を繰り返しています)"};
inline const SjisText kAlertServiceSettledText{"%s: ステータスサービス 安定しました (%s)"};
// The state words of the history chart and of a settled server.
inline const SjisText kStateUpText{"稼働"};
inline const SjisText kStateSlowText{"低速"};
inline const SjisText kStateDownText{"停止"};
inline const SjisText kStateUnreachableText{"接続不可"};
// A balloon that lists some of a poll's alerts ends with the number left
// out; the one after a quiet spell (a full-screen game) opens with the
// number of alerts held meanwhile.
inline const SjisText kBalloonMoreText{"ほか %s 件"};
inline const SjisText kBalloonAwayText{"不在中の通知 %s 件"};
// The history chart's title and its text while it holds no poll.
inline const SjisText kHistoryTitleText{"履歴"};
inline const SjisText kHistoryEmptyText{"履歴はまだありません"};
// The main menu's webhook test ([Notify] Webhook) and its balloon: the
// outcome, then the host and HTTP status.
inline const SjisText kNotifyTestText{"通知のテスト"};
inline const SjisText kNotifyTestSentText{"テストの通知を送りました。\r\n%s"};
inline const SjisText kNotifyTestFailedText{"テストの通知を送れませんでした。\r\n%s"};

// Replaces each "%s" and "%p" of `tmpl`, left to right, by the next argument
// (by nothing once the arguments run out); everything else, any other "%"
// included, is copied. Arguments are never scanned for placeholders.
std::string FillText(std::string_view tmpl, std::initializer_list<std::string_view> args);

}  // namespace tol
