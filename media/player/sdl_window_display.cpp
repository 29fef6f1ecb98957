#include "media/player/sdl_window_display.h"

#include "media/entry_points.h"

namespace media::player {
namespace {

class SdlWindowDisplay : public Display {
 public:
  explicit SdlWindowDisplay(std::string title) : title_(std::move(title)) {}
  ~SdlWindowDisplay() override {
    if (texture_) Av().SDL_DestroyTexture(texture_);
    if (renderer_) Av().SDL_DestroyRenderer(renderer_);
    if (window_) Av().SDL_DestroyWindow(window_);
  }

  bool SetMode(int width, int height, std::string& error) override {
    if (!window_) {
      window_ = Av().SDL_CreateWindow(title_.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                                      SDL_WINDOW_RESIZABLE);
      if (window_) renderer_ = Av().SDL_CreateRenderer(window_, -1, 0);
      if (!window_ || !renderer_) {
        error = Av().SDL_GetError();
        return false;
      }
    } else {
      int current = 0, currentHeight = 0;
      Av().SDL_GetWindowSize(window_, &current, &currentHeight);
      if (current != width || currentHeight != height) Av().SDL_SetWindowSize(window_, width, height);
    }
    width_ = width;
    height_ = height;
    return true;
  }

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  bool OwnWindow() const override { return true; }

  void Show(const YuvPicture& picture, const DisplayArea& area, int64_t) override {
    if (!renderer_) return;
    if (!texture_ || textureWidth_ != picture.width || textureHeight_ != picture.height) {
      if (texture_) Av().SDL_DestroyTexture(texture_);
      texture_ = Av().SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_IYUV, SDL_TEXTUREACCESS_STREAMING, picture.width,
                                        picture.height);
      textureWidth_ = picture.width;
      textureHeight_ = picture.height;
      if (!texture_) return;
    }
    Av().SDL_UpdateYUVTexture(texture_, nullptr, picture.planes[0], picture.strides[0], picture.planes[1],
                              picture.strides[1], picture.planes[2], picture.strides[2]);
    area_ = SDL_Rect{area.left, area.top, area.width, area.height};
    Redraw();
  }

  void Redraw() override {
    if (!renderer_ || !texture_) return;
    // A presented frame leaves the back buffer undefined: the bars are
    // painted black on every frame.
    Av().SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    Av().SDL_RenderClear(renderer_);
    Av().SDL_RenderCopy(renderer_, texture_, nullptr, &area_);
    Av().SDL_RenderPresent(renderer_);
  }

 private:
  std::string title_;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  int textureWidth_ = 0, textureHeight_ = 0;
  int width_ = 0, height_ = 0;
  SDL_Rect area_{};
};

}  // namespace

std::unique_ptr<Display> MakeSdlWindowDisplay(const std::string& title) {
  return std::make_unique<SdlWindowDisplay>(title);
}

}  // namespace media::player
