#include "reconcile/move_reasons.h"

namespace kvo {

// Every reason a failure line can give, and only these: the user guides
// quote each one (tests/guide_log_lines.py reads the texts of this file).
const char16_t* MoveReasonText(platform::MoveStatus status) {
  using platform::MoveStatus;
  switch (status) {
    case MoveStatus::kDestinationExists: return u"移動先に同じ名前のファイルがあります";
    case MoveStatus::kInUse: return u"ほかのプログラムが使用中です";
    case MoveStatus::kAccessDenied: return u"アクセスが拒否されました";
    case MoveStatus::kSourceGone: return u"ファイルが見つかりません";
    case MoveStatus::kDiskFull: return u"移動先の空き容量が足りません";
    case MoveStatus::kLinkAcrossVolumes: return u"リンクのためドライブをまたいで移動しません";
    case MoveStatus::kReadOnlyAcrossVolumes: return u"読み取り専用のためドライブをまたいで移動しません";
    case MoveStatus::kFolderAcrossVolumes: return u"フォルダのためドライブをまたいで移動しません";
    case MoveStatus::kPathTooLong: return u"パスが長すぎます";
    case MoveStatus::kCloudUnavailable: return u"クラウドのファイルを取得できません";
    case MoveStatus::kReplacedDuringMove: return u"移動中にファイルが置き換えられました";
    default: return u"エラー %u";  // kSystemError, and anything that is no failure
  }
}

}  // namespace kvo
