// COstrelMaxExpOptDlg: the modal "Optimization Options" dialog (resource
// 105) in which the user sets the sample rate (1 to 20, through the spin
// control 1055 and its buddy edit 1057) and the thresholds R, T, S and P of
// keyframe reduction (edits 1058, 1059, 1060 and 1062).
#pragma once

#include "platform/ui/dialog.h"

class COstrelMaxExpOptDlg : public CDialog {
 public:
  static constexpr int kResource = 105;
  static constexpr int kSampleRateEdit = 1057;
  static constexpr int kSampleRateSpin = 1055;
  static constexpr int kThresholdEdits[4] = {1058, 1059, 1060, 1062};

  COstrelMaxExpOptDlg(CWnd* parent, int sampleRate, float r, float t, float s, float p);

  // Centres on the parent, buddies the spin to edit 1057 with the range 1
  // to 20 at the sample rate, shows the thresholds with "%.3f".
  BOOL OnInitDialog() override;
  // A spin error gives sample rate 5 and the "Warning" box "Failed to get
  // the sample rate.\nSet sample rate to 5."; the thresholds take the
  // leading number of their edits (0.0 when there is none), unchecked.
  void OnOK() override;

  int sampleRate;
  float thresholdR;
  float thresholdT;
  float thresholdS;
  float thresholdP;
};
