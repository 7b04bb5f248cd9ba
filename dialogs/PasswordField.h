#pragma once

class QLineEdit;

// Lets a line edit echo its text as a password, with a small eye button in
// the field that shows the text while it is pressed down.
void MakePasswordField(QLineEdit *edit);
