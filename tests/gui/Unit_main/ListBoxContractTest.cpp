// SPDX-License-Identifier: GPL-3.0-or-later
// ListBox1 keeps the rules every list store keeps (tests/core/utility/ListStoreContract.h);
// what is its own (rows, scrolling, mouse and keys) is in ListBoxTest.cpp.
#include <gtest/gtest.h>

#include <QApplication>
#include <QItemSelectionModel>
#include <memory>

#include "Unit_main/ListBox.h"
#include "utility/ListStoreContract.h"

namespace mv::test {

struct TListBoxTraits {
  using TStore = TListBox;
  static std::unique_ptr<TStore> Make() { return std::make_unique<TStore>(); }
  static void Select(TStore& store, int index) {
    store.selectionModel()->select(store.model()->index(index, 0), QItemSelectionModel::Select);
  }
};
INSTANTIATE_TYPED_TEST_SUITE_P(ListBox, ListStoreContract, TListBoxTraits);

}  // namespace mv::test

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
