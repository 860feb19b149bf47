// SPDX-License-Identifier: GPL-3.0-or-later
#include "comm/SioPrst.h"

void TSioBuffers::Assign(const TSioBuffers& source) {
  BeginUpdate();
  readSize_ = source.readSize_;
  writeSize_ = source.writeSize_;
  readTimeout_ = source.readTimeout_;
  writeTimeout_ = source.writeTimeout_;
  xonLimit_ = source.xonLimit_;
  xoffLimit_ = source.xoffLimit_;
  EndUpdate();
}

void TSioFlowControl::Assign(const TSioFlowControl& source) {
  BeginUpdate();
  SetOutCtsFlow(source.outCtsFlow_);
  SetOutDsrFlow(source.outDsrFlow_);
  SetControlDtr(source.controlDtr_);
  SetControlRts(source.controlRts_);
  SetXonXoffOut(source.xonXoffOut_);
  SetXonXoffIn(source.xonXoffIn_);
  SetDsrSensitivity(source.dsrSensitivity_);
  SetTxContinueOnXoff(source.txContinueOnXoff_);
  EndUpdate();
}

void TSioEventChars::SetEventChar(int index, char value) {
  if (index < 1 || index > 5) return;
  chars_[index - 1] = value;
  Changed();
}

void TSioEventChars::Assign(const TSioEventChars& source) {
  BeginUpdate();
  for (int i = 1; i <= 5; ++i) SetEventChar(i, source.EventChar(i));
  EndUpdate();
}
