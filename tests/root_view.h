// Root-owned paths for a test: a child process in a private mount namespace
// sees the real file system except that the named top-level directories
// ("config", "proc", ...) are fresh, empty and writable.
#ifndef VELQUAR_TESTS_ROOT_VIEW_H
#define VELQUAR_TESTS_ROOT_VIEW_H

#include <functional>
#include <string>
#include <vector>

namespace velquar_test {

enum class RootView { Ran, NotPermitted };

// Runs body in such a child. GoogleTest expectations inside body report as
// usual; a failing child fails the calling test.
RootView runInRootView(const std::vector<std::string> &freshDirs,
                       const std::function<void()> &body);

// Makes the calling process, single-threaded and a child of its own, enter
// such a view built on root, an empty folder the caller made and removes
// afterwards; ends the process when it cannot.
void enterRootView(const std::string &root, const std::vector<std::string> &freshDirs);

// Ends the child running body as a view that is not permitted here (for a
// file system the kernel lacks, say): the caller sees NotPermitted.
[[noreturn]] void notPermittedInRootView();

// Creates path's parent directories and writes text to it.
void writeFile(const std::string &path, const std::string &text);

// An INI file of size bytes that ends in text, padded in front with comment
// lines short enough for iniparser.
std::string iniPaddedTo(size_t size, const std::string &text);

}  // namespace velquar_test

#endif
