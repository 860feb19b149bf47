// SPDX-License-Identifier: GPL-3.0-or-later
// The serial component's settings objects: queue sizes and time-outs, flow control, event characters.
#pragma once

#include "comm/SioTypes.h"
#include "comm/Sioclasses.h"

enum TSioControlDtr { dtrDisabled, dtrEnabled, dtrHandshake };
enum TSioControlRts { rtsDisabled, rtsEnabled, rtsHandshake, rtsToggle };

class TSioBuffers : public TSioPersistent {
 public:
  TSioIntW ReadSize() const { return readSize_; }
  TSioIntW WriteSize() const { return writeSize_; }
  TSioIntW ReadTimeout() const { return readTimeout_; }
  TSioIntW WriteTimeout() const { return writeTimeout_; }
  TSioIntW XonLimit() const { return xonLimit_; }
  TSioIntW XoffLimit() const { return xoffLimit_; }

  void SetReadSize(TSioIntW value) { Store(readSize_, value); }
  void SetWriteSize(TSioIntW value) { Store(writeSize_, value); }
  void SetReadTimeout(TSioIntW value) { readTimeout_ = value; }
  void SetWriteTimeout(TSioIntW value) { writeTimeout_ = value; }
  void SetXonLimit(TSioIntW value) { Store(xonLimit_, value); }
  void SetXoffLimit(TSioIntW value) { Store(xoffLimit_, value); }

  void Assign(const TSioBuffers& source);

 private:
  void Store(TSioIntW& field, TSioIntW value) {
    if (field == value) return;
    field = value;
    Changed();
  }

  TSioIntW readSize_ = 4096;
  TSioIntW writeSize_ = 2048;
  TSioIntW readTimeout_ = 1000;
  TSioIntW writeTimeout_ = 1000;
  TSioIntW xonLimit_ = 1024;
  TSioIntW xoffLimit_ = 1024;
};

class TSioFlowControl : public TSioPersistent {
 public:
  bool OutCtsFlow() const { return outCtsFlow_; }
  bool OutDsrFlow() const { return outDsrFlow_; }
  TSioControlDtr ControlDtr() const { return controlDtr_; }
  TSioControlRts ControlRts() const { return controlRts_; }
  bool XonXoffOut() const { return xonXoffOut_; }
  bool XonXoffIn() const { return xonXoffIn_; }
  bool DsrSensitivity() const { return dsrSensitivity_; }
  bool TxContinueOnXoff() const { return txContinueOnXoff_; }

  void SetOutCtsFlow(bool value) { Store(outCtsFlow_, value); }
  void SetOutDsrFlow(bool value) { Store(outDsrFlow_, value); }
  void SetControlDtr(TSioControlDtr value) { Store(controlDtr_, value); }
  void SetControlRts(TSioControlRts value) { Store(controlRts_, value); }
  void SetXonXoffOut(bool value) { Store(xonXoffOut_, value); }
  void SetXonXoffIn(bool value) { Store(xonXoffIn_, value); }
  void SetDsrSensitivity(bool value) { Store(dsrSensitivity_, value); }
  void SetTxContinueOnXoff(bool value) { Store(txContinueOnXoff_, value); }

  void Assign(const TSioFlowControl& source);

 private:
  template <class T>
  void Store(T& field, T value) {
    if (field == value) return;
    field = value;
    Changed();
  }

  bool outCtsFlow_ = false;
  bool outDsrFlow_ = false;
  TSioControlDtr controlDtr_ = dtrDisabled;
  TSioControlRts controlRts_ = rtsDisabled;
  bool xonXoffOut_ = false;
  bool xonXoffIn_ = false;
  bool dsrSensitivity_ = false;
  bool txContinueOnXoff_ = false;
};

class TSioEventChars : public TSioPersistent {
 public:
  // Index 1 XonChar, 2 XoffChar, 3 ErrorChar, 4 EventChar, 5 EofChar.
  // 0 for an index outside 1..5.
  char EventChar(int index) const { return index >= 1 && index <= 5 ? chars_[index - 1] : '\0'; }
  // Stores and always notifies, also when the value is unchanged.
  void SetEventChar(int index, char value);

  char XonChar() const { return EventChar(1); }
  char XoffChar() const { return EventChar(2); }
  char ErrorChar() const { return EventChar(3); }
  char EventChar() const { return EventChar(4); }
  char EofChar() const { return EventChar(5); }

  void Assign(const TSioEventChars& source);

 private:
  char chars_[5] = {17, 19, 0, 0, 0};
};
