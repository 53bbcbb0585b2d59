#pragma once
// Lays the main window out over its client size (the rules of main_layout), then redraws
// the picture into the main and the fullscreen picture area, empties the fullscreen
// countdown's fill and re-places the cam list's rows. Does nothing while the window is
// minimised.
class Form1;
class Form3;

void layOutMainWindow(Form1 &form1, Form3 &form3, int camCount);
