// Where the share-link job puts its results.
//
// The job calls these in its own order, each as soon as its value is known, from the
// job's thread: a window must carry the calls over to its own thread, and a command line
// may simply keep the values. Texts are code page 936.
#pragma once

#include "text/text.h"

namespace tarvo {

// The pages of the result area that the job and the window switch between.
enum class Page { Home = 0, Load = 1, End = 2 };

class JobOutput {
  public:
    virtual ~JobOutput() = default;

    virtual void SetUser(const Text& user) = 0;
    virtual void SetDownUrl1(const Text& url) = 0;
    virtual void SetDownUrl2(const Text& url) = 0;
    virtual void SetTitle(const Text& title) = 0;
    virtual void SetPage(Page page) = 0;
};

}  // namespace tarvo
