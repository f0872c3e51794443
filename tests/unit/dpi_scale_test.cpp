#include "layout/dpi_scale.h"

#include <gtest/gtest.h>

namespace quilbo {
namespace {

TEST(DpiScale, RoundsAsMulDivAndLeaves96Alone) {
  for (const int value : {-273, -1, 0, 1, 15, 17, 45, 207, 648, 848, 16384})
    EXPECT_EQ(ScaleToDpi(value, 96), value);
  EXPECT_EQ(ScaleToDpi(273, 144), 410);  // 409.5: halves away from zero
  EXPECT_EQ(ScaleToDpi(-273, 144), -410);
  EXPECT_EQ(ScaleToDpi(17, 144), 26);    // 25.5
  EXPECT_EQ(ScaleToDpi(45, 120), 56);    // 56.25
  EXPECT_EQ(ScaleToDpi(15, 192), 30);
  EXPECT_EQ(ScaleToDpi(1, 48), 1);       // 0.5
}

TEST(DpiScale, BoundsFontAndOuterSize) {
  const Bounds ratio = ScaleToDpi(Bounds{18, 18, 65, 17}, 144);
  EXPECT_EQ(ratio.left, 27);
  EXPECT_EQ(ratio.top, 27);
  EXPECT_EQ(ratio.width, 98);
  EXPECT_EQ(ratio.height, 26);

  EXPECT_EQ(FontHeightForDpi(8, 96), -11);
  EXPECT_EQ(FontHeightForDpi(8, 144), -16);
  EXPECT_EQ(FontHeightForDpi(8, 192), -21);

  // The main window: 648 x 273 around Wine's frame of 8 x 46 at 96 dpi, which
  // is 10 x 66 at 144 dpi: the client area 640 x 227 becomes 960 x 341.
  const Extent at144 = ScaledOuterSize({648, 273}, {8, 46}, {10, 66}, 144);
  EXPECT_EQ(at144.width, 970);
  EXPECT_EQ(at144.height, 407);
  const Extent at96 = ScaledOuterSize({648, 273}, {8, 46}, {8, 46}, 96);
  EXPECT_EQ(at96.width, 648);
  EXPECT_EQ(at96.height, 273);
}

TEST(DpiScale, PicksTheWidestPictureThatFits) {
  EXPECT_EQ(PickPicture({16, 24, 32}, 16, 96), 0u);
  EXPECT_EQ(PickPicture({16, 24, 32}, 16, 120), 0u);  // 20: the 24 would be stretched down
  EXPECT_EQ(PickPicture({16, 24, 32}, 16, 144), 1u);
  EXPECT_EQ(PickPicture({16, 24, 32}, 16, 192), 2u);
  EXPECT_EQ(PickPicture({16, 24, 32}, 16, 288), 2u);
  EXPECT_EQ(PickPicture({16, 24, 32}, 16, 72), 0u);   // none fits: the smallest
}

}  // namespace
}  // namespace quilbo
