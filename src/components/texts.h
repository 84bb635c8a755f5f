#pragma once
// The desktop components' own Japanese texts, kept in this one file (see
// shared/sjis.h: UTF-8 literals, code page 932 bytes at use).

#include "shared/sjis.h"

namespace tol {

// The notification area refused the icon for a reason other than a time-out.
inline const SjisText kCannotAddTrayIconText{"タスクトレイにアイコンを登録できません。"};
// The notification area kept timing out until the retries were used up.
inline const SjisText kCannotChangeTrayIconText{"タスクトレイのアイコンを変更できません。"};

}  // namespace tol
