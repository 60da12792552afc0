#include "installer/model_dlg.h"

#include "common/product.h"

namespace zep {

void CModelDlg::OnInitDialog(ModelDlgView& view) {
    for (const char* model : kModelNames) view.AddString(model);
}

void CModelDlg::OnCheckChange(ModelDlgView& view) {
    int count = view.GetCount();
    for (int i = 0; i < count; ++i) {
        if (view.GetCheck(i)) {
            view.EnableNext(true);
            return;
        }
    }
    view.EnableNext(false);
}

void CModelDlg::OnOK(ModelDlgView& view) {
    m_chosenModels.clear();
    int count = view.GetCount();
    for (int i = 0; i < count; ++i)
        if (view.GetCheck(i)) m_chosenModels.push_front(view.GetText(i));
}

}  // namespace zep
