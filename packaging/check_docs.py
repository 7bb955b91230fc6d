#!/usr/bin/env python3
"""Checks that the user manual, the manual pages and the program agree.

  - every link of the HTML manual reaches a page and an anchor that exist;
  - docs/manual.qrc holds exactly the manual's files, so the help window shows
    every page;
  - every message the operator can meet is still produced by the program and
    is explained on the messages page;
  - every option of tgx-sim and every command of tgxctl that the sources
    accept is in its manual page;
  - the manual pages format without warnings (when man is installed).

Prints one line per problem and exits 1 when there is any; exits 0 quietly.
Run from anywhere: python3 packaging/check_docs.py
"""

import html.parser
import os
import re
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
MANUAL = os.path.join(ROOT, "docs", "manual")
MAN = os.path.join(ROOT, "docs", "man")

# The texts an operator can meet in a message box, the progress dialog, the
# status bar or tgxctl's output, and the source folders that produce them.
# A text dropped from the program must leave this list, and a new one must
# join it, together with its explanation on the messages page.
MESSAGES = [
    ("Неизвестная форма!", "forms"),
    ("Файл испорчен!", "forms"),
    ("Ошибка формы!", "forms"),
    ("Невозможно записать файл!", "forms"),
    ("Ошибка при чтении файла конфигурации", "app/core"),
    ("Ошибка при записи файла конфигурации", "app/core"),
    ("Порт занят", "link"),
    ("Ошибка связи", "link"),
    ("Версия не поддерживается", "link"),
    ("Неисправность БВ!", "link"),
    ("Инициализация БВ", "link"),
    ("Недостаточно памяти БВ!", "link"),
    ("Ошибка сжатия таблиц", "link"),
    ("Таблицы объёма в системе отсутствуют", "link"),
    ("Таблицы системы совпадают с проектом.", "link"),
    ("Таблицы системы отличны от проекта !", "link"),
    ("Запись таблиц завершена.", "link"),
    ("Таблицы удалены.", "link"),
    ("Выполняется перезагрузка системы", "link"),
    ("Внимание !", "link"),
    ("Чтобы записанный проект стал активным,", "link"),
    ("необходимо переключить питание системы", "link"),
    ("Сохранить проект?", "app"),
    ("Сохранить форму?", "app"),
    ("Удалить таблицу?", "app"),
    ("нет прав доступа (группа dialout)", "app"),
    ("занят другой программой", "app"),
    ("Неверный список каналов", "app"),
    ("Нет таблиц для отчёта: в выбранных каналах только пропуски.", "report"),
    ("Форма не преобразуется в таблицу", "report"),
]


class PageParser(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.links = []
        self.anchors = set()
        self.text = []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "a" and "href" in a:
            self.links.append(a["href"])
        if tag == "a" and "name" in a:
            self.anchors.add(a["name"])
        if "id" in a:
            self.anchors.add(a["id"])

    def handle_data(self, data):
        self.text.append(data)


def parse_pages():
    pages = {}
    for name in sorted(os.listdir(MANUAL)):
        if name.endswith(".html"):
            p = PageParser()
            with open(os.path.join(MANUAL, name), encoding="utf-8") as f:
                p.feed(f.read())
            pages[name] = p
    return pages


def check_links(pages):
    problems = []
    for name, page in pages.items():
        for href in page.links:
            if re.match(r"^[a-z]+:", href):
                problems.append(f"{name}: link {href} leaves the manual (the help window shows only its own pages)")
                continue
            target, _, anchor = href.partition("#")
            target = target or name
            if target not in pages:
                problems.append(f"{name}: link {href}: no page {target}")
            elif anchor and anchor not in pages[target].anchors:
                problems.append(f"{name}: link {href}: no anchor {anchor} in {target}")
    return problems


def check_qrc():
    qrc = os.path.join(ROOT, "docs", "manual.qrc")
    listed = {f.text.strip() for f in ET.parse(qrc).getroot().iter("file")}
    present = {"manual/" + n for n in os.listdir(MANUAL)}
    problems = [f"docs/manual.qrc: {f} is not in docs/manual/" for f in sorted(listed - present)]
    problems += [f"docs/manual.qrc: docs/manual/{f[7:]} is missing from the resources" for f in sorted(present - listed)]
    return problems


def source_text(folder):
    chunks = []
    for base, _, files in os.walk(os.path.join(ROOT, folder)):
        for n in files:
            if n.endswith((".cpp", ".h")):
                with open(os.path.join(base, n), encoding="utf-8", errors="replace") as f:
                    chunks.append(f.read())
    return "\n".join(chunks)


def normalise(text):
    return re.sub(r"\s+", " ", text)


def check_messages(pages):
    problems = []
    explained = normalise(" ".join(pages["messages.html"].text))
    sources = {}
    for message, folder in MESSAGES:
        if folder not in sources:
            sources[folder] = source_text(folder)
        if message not in sources[folder]:
            problems.append(f"'{message}' is no longer produced under {folder}/: update the manual and this list")
        if normalise(message) not in explained:
            problems.append(f"messages.html does not explain '{message}'")
    return problems


def man_text(page):
    with open(os.path.join(MAN, page), encoding="utf-8") as f:
        # Undo the escapes of the page so that options read as typed.
        return f.read().replace("\\-", "-")


def check_sim_options():
    with open(os.path.join(ROOT, "tools", "tgx-sim", "SimOptions.cpp"), encoding="utf-8") as f:
        options = set(re.findall(r'a == "(--[a-z0-9-]+)"', f.read()))
    text = man_text("tgx-sim.1")
    return [f"tgx-sim.1 does not document {o}" for o in sorted(options) if o not in text]


def check_ctl_commands():
    code = source_text("tools/tgxctl")
    words = set(re.findall(r'(?:cmd|w|command|args\[0\]) == "([a-z][a-z0-9-]*)"', code))
    words -= {"help"}
    options = set(re.findall(r'a == "(--[a-z0-9-]+)"', code))
    text = man_text("tgxctl.1")
    problems = [f"tgxctl.1 does not document the command {w}" for w in sorted(words) if not re.search(r"\b" + re.escape(w) + r"\b", text)]
    problems += [f"tgxctl.1 does not document {o}" for o in sorted(options) if o not in text]
    return problems


def check_man_warnings():
    if shutil.which("man") is None:
        return []
    problems = []
    env = dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80")
    for page in sorted(os.listdir(MAN)):
        r = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", os.path.join(MAN, page)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env, text=True)
        for line in r.stderr.splitlines():
            problems.append(f"{page}: {line}")
    return problems


def main():
    pages = parse_pages()
    problems = []
    problems += check_links(pages)
    problems += check_qrc()
    problems += check_messages(pages)
    problems += check_sim_options()
    problems += check_ctl_commands()
    problems += check_man_warnings()
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
