#include "ui/win32/distributionDialog.h"

#include <windows.h>

namespace dialogs {
namespace {

struct Choice {
  const std::vector<ui::KnownDistribution>* known;
  const std::vector<std::string>* candidates;
  std::string chosen;
};

void FillList(HWND list, const Choice& choice) {
  const std::vector<std::string>& candidates = *choice.candidates;
  for (std::size_t position = 0; position < candidates.size(); ++position) {
    const std::string shown = ui::DistributionDisplayName(*choice.known, candidates[position]);
    const LRESULT item = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    if (item == LB_ERR || item == LB_ERRSPACE) continue;
    SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(item), static_cast<LPARAM>(position));
  }
  SendMessageA(list, LB_SETCURSEL, 0, 0);
}

// The candidate of the selected item; false when nothing is selected or the item carries no position.
bool Selected(HWND list, const Choice& choice, std::string* candidate) {
  const LRESULT item = SendMessageA(list, LB_GETCURSEL, 0, 0);
  if (item == LB_ERR) return false;
  const LRESULT position = SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(item), 0);
  if (position == LB_ERR || position < 0 || static_cast<std::size_t>(position) >= choice.candidates->size()) {
    return false;
  }
  *candidate = (*choice.candidates)[static_cast<std::size_t>(position)];
  return true;
}

INT_PTR CALLBACK ChoiceProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    FillList(GetDlgItem(dialog, kDistributionList), *reinterpret_cast<Choice*>(lParam));
    return TRUE;
  }
  Choice* choice = reinterpret_cast<Choice*>(GetWindowLongPtrA(dialog, DWLP_USER));
  if (!choice || message != WM_COMMAND) return FALSE;
  const int command = LOWORD(wParam);
  if (command == IDOK) {
    // Without a usable selection the result stays empty, as after Cancel.
    if (!Selected(GetDlgItem(dialog, kDistributionList), *choice, &choice->chosen)) choice->chosen.clear();
    EndDialog(dialog, IDOK);
    return TRUE;
  }
  if (command == IDCANCEL) {
    choice->chosen.clear();
    EndDialog(dialog, IDCANCEL);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

std::string ChooseDistribution(ModuleHandle module, const std::vector<ui::KnownDistribution>& known,
                               const std::vector<std::string>& candidates) {
  Choice choice{&known, &candidates, std::string()};
  const INT_PTR result = DialogBoxParamA(static_cast<HINSTANCE>(module), MAKEINTRESOURCEA(kDistributionDialog),
                                         nullptr, ChoiceProcedure, reinterpret_cast<LPARAM>(&choice));
  return result == IDOK ? choice.chosen : std::string();
}

}  // namespace dialogs
