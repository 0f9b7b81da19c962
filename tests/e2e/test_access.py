import json
import os
import pty
import re
import subprocess
import threading
import time
import tty
import unittest

from harness import LOGIN_NAME, PASSWORD_TITLE, SHORT_WAIT, TITLE, EndToEndTest, accepts, poll

SECRET = "Qz7xKv9w"  # typed into every password field, a key at a time, as a person types
# A speech server without sound, and Orca speaking every key pressed and every character typed, with no braille
# display to look for at every focus.
SPEECH_SETTINGS = 'AudioOutputMethod "alsa"\nAudioALSADevice "null"\nAddModule "dummy" "sd_dummy" ""\nDefaultModule dummy\n'
ORCA_SETTINGS = {"general": {"startingProfile": ["Default", "default"], "activeProfile": ["Default", "default"]},
                 "pronunciations": {}, "keybindings": {}, "profiles": {"default": {
                     "profile": ["Default", "default"], "enableKeyEcho": True, "enableEchoByCharacter": True,
                     "enableBraille": False}}}  # fmt: skip


def copy_record(terminal, path):
    with open(path, "wb") as record:
        try:
            while chunk := os.read(terminal, 65536):
                record.write(chunk)
                record.flush()
        except OSError:  # the other end closed
            pass
    os.close(terminal)


class AccessTest(EndToEndTest):
    maxDiff = None

    def start_orca(self):  # the screen reader, on a speech server of its own, its speech written to a file
        home, speech = self.sandbox.root / "orca", self.sandbox.root / "speech.socket"
        (settings := home / ".local" / "share" / "orca" / "user-settings.conf").parent.mkdir(parents=True)
        settings.write_text(json.dumps(ORCA_SETTINGS))
        env = self.display.env | {"HOME": str(home), "GSETTINGS_BACKEND": "memory", "XDG_RUNTIME_DIR": self.env[
            "XDG_RUNTIME_DIR"], "SPEECHD_ADDRESS": "unix_socket:%s" % speech}  # fmt: skip
        (home / "speechd").mkdir()
        (home / "speechd" / "speechd.conf").write_text(SPEECH_SETTINGS)
        self.helpers.append(self.display.start_client("speech-dispatcher", [
            "speech-dispatcher", "--run-single", "--config-dir", str(home / "speechd"), "--communication-method",
            "unix_socket", "--socket-path", str(speech), "--timeout", "0"], lambda: accepts(speech), env=env))
        # Orca writes its record a line at a time only to a terminal: it is given one, copied to the log as it comes.
        self.orca_log, (reader, writer) = self.sandbox.root / "orca.log", pty.openpty()
        tty.setraw(writer)
        self.helpers.append(subprocess.Popen(["orca", "--replace", "--debug-file=/dev/stdout"], env=env, stdout=writer,
                                             stderr=subprocess.DEVNULL))  # fmt: skip
        os.close(writer)
        threading.Thread(target=copy_record, args=(reader, self.orca_log), daemon=True).start()
        self.wait_for("Orca", lambda: "Screen reader on" in "".join(self.spoken()), 30)
        self.heard = len(self.transcript())

    def spoken(self):  # what Orca has said so far, an utterance a line, in Orca 48's words, the labels' colons left out
        text = self.orca_log.read_text(errors="replace") if self.orca_log.exists() else ""
        return [line.replace(":", "").replace("push button", "button")
                for line in re.findall(r"SPEECH OUTPUT: '(.*?)' ?\{", text)]  # fmt: skip

    def transcript(self):
        return "\n".join(self.spoken())

    def wait_spoken(self, phrase, again=None):  # said after what was heard last; what `again` does brings it again
        def said():  # where it ends, if it was
            at = self.transcript().find(phrase, self.heard)
            return at + len(phrase) if at >= 0 else None

        if again and not poll(said, SHORT_WAIT):
            again()
        self.heard = self.wait_for("Orca to say %r" % phrase, said)

    def ask_again(self, program):  # the question left, and the logon begun again
        question = self.wait_dialog(program, TITLE)
        self.x.key("Escape")
        self.wait_gone(question, "the question")
        self.double_click_icon(program)

    def type_slowly(self, text):  # each key heard on its own
        for character in text:
            self.x.type(character)
            time.sleep(0.3)

    def test_orca_announces_the_logon_and_every_field_and_never_speaks_a_password(self):
        self.start_orca()
        program = self.start_program()
        # Orca takes to a program at its first event, and may not announce a window that comes with it: that question
        # is left and asked again.
        self.double_click_icon(program)
        self.wait_spoken("User %s not found, register?" % LOGIN_NAME, lambda: self.ask_again(program))
        self.x.key("Return")
        self.wait_spoken("Please enter password for new user.")
        self.x.key("Return")
        self.wait_dialog(program, PASSWORD_TITLE % LOGIN_NAME)
        self.wait_spoken(PASSWORD_TITLE % LOGIN_NAME)
        # A field is named when it gets the focus: one that came with the dialog, unheard, is taken again.
        for field, then in ("Password", "Tab"), ("Confirm password", "Return"):
            self.wait_spoken("%s password text" % field, lambda: self.x.key("Tab", "shift+Tab"))
            self.type_slowly(SECRET)
            self.x.key(then)
        self.wait_main_window(program)
        # The fields of a first account, which the new user adds, each named as Tab brings the focus to it.
        self.click(program, "Add account")
        self.wait_spoken("New account")
        for phrases in (["User name text"], ["Password password text"], ["URL text"], ["Phone text"],
                        ["Additional text text"], ["Add account button"],
                        ["Click existing account below", "List with 1 item"]):  # fmt: skip
            time.sleep(0.5)  # Orca speaks a moment after the focus moves
            self.x.key("Tab")
            for phrase in phrases:
                self.wait_spoken(phrase)
            if phrases[0].startswith("Password"):
                self.type_slowly(SECRET)
        time.sleep(SHORT_WAIT / 5)
        said = self.spoken()
        self.assertEqual([line for line in said if SECRET in line or line.strip() and line.strip() in SECRET], [])
        self.assertGreaterEqual(len([line for line in said if line.strip() == "*"]), len(SECRET))  # heard as typed
        self.assertEqual(self.unload(program), 0)


if __name__ == "__main__":
    unittest.main()
