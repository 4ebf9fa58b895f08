// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which directory each inotify watch stands for. Kept as a tree of names rather than of paths,
// so that a rename moves a whole subtree by relinking one node.

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "FileSystemWatcher/TreeArm_linux.h"

namespace mv {

class TInotifyTreeMap {
 public:
  // Places wd under parentWd by name (parentWd -1: wd is the root); a known wd moves there with
  // everything below it.
  void Link(int wd, int parentWd, const std::string& name);
  // What the arming placed, in any order.
  void Adopt(std::vector<TArmedDir>& dirs);
  // The path of wd relative to the root with a trailing "/" ("" for the root); false when wd
  // names no place in the tree.
  bool RelDir(int wd, std::string& out) const;
  int FindChild(int parentWd, const std::string& name) const;
  // The wd of a directory by its path relative to the root ("" for the root); -1 when unknown.
  int Find(const std::string& rel) const;
  // Forgets wd and everything below it; their wds, wd first.
  std::vector<int> RemoveSubtree(int wd);
  std::vector<int> Except(const std::unordered_set<int>& seen) const;
  bool Contains(int wd) const { return nodes_.count(wd) != 0; }
  int Root() const { return root_; }
  std::size_t Size() const { return nodes_.size(); }
  // Forgets everything and gives back the memory.
  void Clear();

 private:
  struct TNode {
    int parent = -1;
    std::string name;
    std::vector<int> children;
  };
  void Unlink(int wd);

  std::unordered_map<int, TNode> nodes_;
  int root_ = -1;
  mutable std::vector<const TNode*> chain_;
};

}  // namespace mv
