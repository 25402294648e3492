// The tessary program. The back end linked with it (headless or GTK)
// decides what the screen is; the application object does the rest.
#include "app/root_argument.h"
#include "app/viewer_app.h"
#include "catalogue/album_names.h"

int main(int argc, char** argv) {
  // Naming the application object links it in (the framework reaches it
  // only through AfxGetApp).
  CWinApp* volatile application = &theApp;
  (void)application;
  SetRootFolder(RootFolderArgument(argc, argv));
  return AfxWinMain(argc, argv);
}
