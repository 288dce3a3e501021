#pragma once
// The component registry of an engine without a module loader: it holds no component, so
// every name resolves to "Variable not found" and every load answers "Mod not found".

#include "KvCore/EngineSide.h"

class CNoComponents final : public IComponents {
 public:
  int Count() const override { return 0; }
  int Find(const char*) const override { return -1; }
  const char* Label(int) const override { return ""; }
  int Create(const char* name, const char* library, CStr& message) override;
  void Destroy(int) override {}
  VPARAM Describe(int, const char*) override { return {}; }
  VPARAM Get(int, const char*, int32_t) override;
  CMDERR Set(int, const char*, VPARAM&) override { return cmdNotServed; }
  CMDERR GetText(int, const char*, CStr&) override { return cmdNotServed; }
  CMDERR FunInfo(int, const char*, VPARAMS&) override { return cmdNotServed; }
  CMDERR Fun(int, const char*, VPARAMS&) override { return cmdNotServed; }
};
