// The model dialog: a check list of the two display models and Next.
#pragma once

#include <deque>
#include <string>

#include "installer/views.h"

namespace zep {

class CModelDlg {
public:
    // The checked names, filled by OnOK head-first (the reverse of list order).
    std::deque<std::string> m_chosenModels;

    void OnInitDialog(ModelDlgView& view);
    // Next is enabled only while at least one model is checked.
    void OnCheckChange(ModelDlgView& view);
    void OnOK(ModelDlgView& view);
};

}  // namespace zep
