"""Reply bytes that several end-to-end tests expect, and helpers to compare replies whose
Date line varies."""

import re

PAGE_HEAD = (b"HTTP/1.1 200 OK\nServer: Pelmora\nConnection: close\n"
             b"Content-Type: text/html\r\n\r\n")
PASSWORD_FORM = (PAGE_HEAD + b"<html><form method=GET action=\"admin.cgi\">Enter Admin Password "
                 b"<input type=text name=pass><input type=Submit></form>")
DATE_LINE = re.compile(rb"\r\nDate: [A-Z][a-z]{2}, \d\d [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d GMT\r\n")
FIXED_DATE = b"\r\nDate: *\r\n"


def html(text):
    """text as the page shows it: HTML-escaped."""
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;").replace("'", "&#39;"))


def redirect(location):
    """The whole 302 reply with the given Location value, its Date value masked."""
    return (b"HTTP/1.0 302 Moved Temporarily\r\nServer: Quellix" + FIXED_DATE +
            b"Location: " + location.encode() + b"\r\nConnection: close\r\n\r\n")


def masked(reply):
    """The reply with its first Date line's value replaced by "*"."""
    return DATE_LINE.sub(FIXED_DATE, reply, count=1)
