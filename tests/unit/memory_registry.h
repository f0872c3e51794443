#pragma once
// An in-memory registry for the settings store's tests: keys and value names
// match without regard to case and subkeys enumerate in sorted order, as in the
// Windows registry. Faults can be injected, and every change is logged.
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "settings/registry.h"

namespace quilbo::testing {

struct CaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

class MemoryRegistry : public Registry {
 public:
  RegistryKeyPtr OpenKey(std::string_view path) override;
  RegistryKeyPtr CreateKey(std::string_view path) override;
  bool DeleteKey(std::string_view path) override;
  bool KeyExists(std::string_view path) override { return HasKey(path); }

  // Set-up and inspection, bypassing faults and the log.
  void AddKey(std::string_view path);
  void Put(std::string_view path, std::string_view name, RegValueKind kind, std::string bytes);
  void PutString(std::string_view path, std::string_view name, std::string_view text);
  bool HasKey(std::string_view path) const;
  std::optional<RegValueData> Get(std::string_view path, std::string_view name) const;
  std::optional<std::string> GetText(std::string_view path, std::string_view name) const;  // cut at its zero

  // Faults.
  bool denyAccess = false;                 // every open, create and delete is refused; reads work
  std::set<std::string, CaseLess> failingReads;    // value names
  std::set<std::string, CaseLess> failingWrites;   // value names
  std::set<std::string, CaseLess> failingDeletes;  // key paths as passed

  // "write <name>=<text>" and "delete <path>", in order.
  std::vector<std::string> log;
  int openKeys = 0;

 private:
  struct Node {
    std::map<std::string, RegValueData, CaseLess> values;
    std::map<std::string, std::unique_ptr<Node>, CaseLess> subkeys;
  };
  class Key;

  static std::vector<std::string> Split(std::string_view path);
  Node* Find(const std::vector<std::string>& parts) const;
  Node* Make(const std::vector<std::string>& parts);

  Node root_;
};

}  // namespace quilbo::testing
