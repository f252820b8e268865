#include "reconcile/move_reasons.h"

namespace kvo {
namespace {

// Every reason a failure line can give, and only these: the user guides
// quote each one (tests/guide_log_lines.py reads this table).
struct Reason {
  platform::MoveStatus status;
  const char16_t* text;
};
constexpr Reason kReasons[] = {
    {platform::MoveStatus::kDestinationExists, u"移動先に同じ名前のファイルがあります"},
    {platform::MoveStatus::kInUse, u"ほかのプログラムが使用中です"},
    {platform::MoveStatus::kAccessDenied, u"アクセスが拒否されました"},
    {platform::MoveStatus::kSourceGone, u"ファイルが見つかりません"},
    {platform::MoveStatus::kDiskFull, u"移動先の空き容量が足りません"},
    {platform::MoveStatus::kLinkAcrossVolumes, u"リンクのためドライブをまたいで移動しません"},
    {platform::MoveStatus::kReadOnlyAcrossVolumes, u"読み取り専用のためドライブをまたいで移動しません"},
    {platform::MoveStatus::kFolderAcrossVolumes, u"フォルダのためドライブをまたいで移動しません"},
    {platform::MoveStatus::kPathTooLong, u"パスが長すぎます"},
    {platform::MoveStatus::kCloudUnavailable, u"クラウドのファイルを取得できません"},
    {platform::MoveStatus::kReplacedDuringMove, u"移動中にファイルが置き換えられました"},
    {platform::MoveStatus::kSystemError, u"エラー %u"},
};

}  // namespace

const char16_t* MoveReasonText(platform::MoveStatus status) {
  for (const Reason& reason : kReasons) {
    if (reason.status == status) return reason.text;
  }
  return kReasons[sizeof kReasons / sizeof kReasons[0] - 1].text;
}

}  // namespace kvo
