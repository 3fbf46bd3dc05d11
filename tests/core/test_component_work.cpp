// Work notifications of TIdComponent: counted and reported only inside a
// bracket, or forwarded to a work target.

#include <gtest/gtest.h>

#include <vector>

#include "core/qtxIdComponent.h"

namespace qtx {
namespace {

struct ComponentWork : ::testing::Test {
  ComponentWork() {
    component.OnWork = [this](TIdComponent&, TWorkMode aMode, int64_t aCount) {
      if (aMode == wmRead) totals.push_back(aCount);
    };
  }
  TIdComponent component;
  std::vector<int64_t> totals;
};

TEST_F(ComponentWork, WorkOutsideABracketIsNeitherReportedNorCounted) {
  component.DoWork(wmRead, 5);
  component.BeginWork(wmRead, 100);
  component.DoWork(wmRead, 3);
  component.EndWork(wmRead);
  component.DoWork(wmRead, 7);
  EXPECT_EQ(totals, (std::vector<int64_t>{3}));
}

TEST_F(ComponentWork, InsideABracketTheRunningTotalIsReportedAcrossInnerBrackets) {
  component.BeginWork(wmRead);
  component.DoWork(wmRead, 2);
  component.BeginWork(wmRead);
  component.DoWork(wmRead, 3);
  component.EndWork(wmRead);
  component.DoWork(wmRead, 4);
  component.DoWork(wmWrite, 50);  // the other mode has no bracket open
  component.EndWork(wmRead);
  EXPECT_EQ(totals, (std::vector<int64_t>{2, 5, 9}));
}

TEST_F(ComponentWork, WorkIsForwardedToTheTargetWithoutABracketOfItsOwn) {
  TIdComponent source;
  source.SetWorkTarget(&component);
  component.BeginWork(wmRead);
  source.DoWork(wmRead, 4);
  source.DoWork(wmRead, 6);
  component.EndWork(wmRead);
  source.DoWork(wmRead, 1);  // the target's bracket is closed again
  EXPECT_EQ(totals, (std::vector<int64_t>{4, 10}));
}

TEST_F(ComponentWork, WorkCountedWithoutAHandlerIsInTheTotalOnceOneIsSet) {
  const TIdComponent::TWorkEvent handler = component.OnWork;
  component.OnWork = nullptr;
  component.BeginWork(wmRead);
  component.DoWork(wmRead, 8);
  component.OnWork = handler;
  component.DoWork(wmRead, 1);
  component.EndWork(wmRead);
  EXPECT_EQ(totals, (std::vector<int64_t>{9}));
}

}  // namespace
}  // namespace qtx
