#pragma once
// The page's test mode (window.tlvxTest): the test's world played with
// scripted keys and a simulated clock, as `tlvx-tool run` does, so that a test
// can compare the two pass for pass.
namespace tlvx::web_page {

// Plays the test; the page reads the picture and the files afterwards.
// Returns the exit status.
int run_test();

}  // namespace tlvx::web_page
