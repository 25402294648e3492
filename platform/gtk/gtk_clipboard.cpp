// The clipboard bitmap offered to other programs: GTK serves it as PNG, BMP
// and every other image form GdkPixbuf writes, for as long as the program
// runs, and hands it to a clipboard manager at exit where there is one.
#include "platform/backend.h"
#include "platform/gtk/gtk_internal.h"

namespace platform::gtk {
namespace {

// The framebuffer's B, G, R, x pixels as an RGB pixbuf; nullptr when it
// cannot be made.
GdkPixbuf* PixbufOf(const PixelView& view) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, view.width, view.height);
  if (pixbuf == nullptr) return nullptr;
  guchar* rows = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  for (int y = 0; y < view.height; ++y) {
    const uint8_t* from = view.Row(y);
    guchar* to = rows + static_cast<ptrdiff_t>(y) * stride;
    for (int x = 0; x < view.width; ++x, from += 4, to += 3) {
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
    }
  }
  return pixbuf;
}

}  // namespace

void PublishClipboard() {
  GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  const PixelView view = BitmapPixels(ClipboardBitmap());
  GdkPixbuf* pixbuf = view.pixels != nullptr ? PixbufOf(view) : nullptr;
  if (pixbuf == nullptr) {
    gtk_clipboard_clear(clipboard);
    return;
  }
  gtk_clipboard_set_image(clipboard, pixbuf);
  g_object_unref(pixbuf);
}

void StoreClipboard() {
  if (gdk_display_get_default() == nullptr) return;
  gtk_clipboard_store(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
}

}  // namespace platform::gtk
