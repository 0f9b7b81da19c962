#pragma once

class QLineEdit;

// Keeps what a password field holds from assistive technology. Qt's accessibility events of a line edit tell the
// text inserted, removed or replaced in clear, whatever its echo mode, and a screen reader speaks them aloud. Once a
// field is protected, its events carry its mask character instead, as many as there were characters, so a person
// hears that something was typed and nothing of what; its accessible text shows the mask or nothing, as Qt gives it,
// and its role stays "password text". The protection holds whenever the field hides its text.
void ProtectSecretField(QLineEdit &field);
