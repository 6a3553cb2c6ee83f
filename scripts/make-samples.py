#!/usr/bin/env python3
"""Writes the sample input files laid beside the executable in Samples/.

One small, realistic file for each delimiter and encoding Delvora handles.
Run from anywhere; the files are written to resources/Samples/ next to this
script's folder. Lines end in CR LF, as spreadsheet programs write them.
"""

import pathlib

SAMPLES = pathlib.Path(__file__).resolve().parent.parent / "resources" / "Samples"


def rows(*lines):
    return "".join(line + "\r\n" for line in lines)


FILES = {
    # Plain comma-separated export, no byte-order mark.
    "sales-comma.csv": ("ansi", rows(
        "Date,Region,Product,Units,Unit Price,Total",
        "2021-03-01,North,Desk Lamp,12,24.90,298.80",
        "2021-03-01,South,Office Chair,3,149.00,447.00",
        "2021-03-02,East,Monitor Arm,7,59.50,416.50",
        "2021-03-02,West,Desk Lamp,5,24.90,124.50",
        "2021-03-03,North,Standing Desk,2,389.00,778.00",
    )),
    # Comma followed by a space: choose "Comma-space".
    "contacts-comma-space.csv": ("ansi", rows(
        "Name, Company, Phone, City",
        "Ada Lindqvist, Northwind Traders, +46 8 555 0142, Stockholm",
        "Ravi Menon, Harbor Logistics, +91 22 5550 1234, Mumbai",
        "Chloe Martin, Atelier Bleu, +33 1 55 50 12 34, Paris",
        "Tom Okafor, Greenline Energy, +234 1 555 0199, Lagos",
    )),
    # Semicolons, as spreadsheets write where the comma is the decimal mark.
    "inventory-semicolon.csv": ("ansi", rows(
        "Article;Description;Stock;Price (EUR)",
        "A-1001;Notebook A5, dotted;240;3,95",
        "A-1002;Fountain pen, blue;35;18,50",
        "A-1003;Ink cartridges (6);410;2,40",
        "A-1004;Desk organiser;18;12,90",
    )),
    # A pipe: choose "Other" and type "|".
    "orders-pipe-other.csv": ("ansi", rows(
        "Order|Customer|Items|Status",
        "10481|Greenline Energy|Cable ties, 500 pcs|Shipped",
        "10482|Atelier Bleu|Sketch paper A3|Packed",
        "10483|Harbor Logistics|Label printer; 2 rolls|Awaiting payment",
        "10484|Northwind Traders|Desk lamps|Delivered",
    )),
    # UTF-8 with its mark, text in several scripts.
    "cities-utf8-mark.csv": ("utf-8-sig", rows(
        "City,Country,Native name,Population",
        "Moscow,Russia,Москва,13010112",
        "Athens,Greece,Αθήνα,643452",
        "Tokyo,Japan,東京,13960000",
        "Cairo,Egypt,القاهرة,10100166",
        "Kraków,Poland,Kraków,800653",
        "Zürich,Switzerland,Zürich,421878",
    )),
    # UTF-16 little-endian with its mark; the result keeps the encoding.
    "products-utf16-mark.csv": ("utf-16", rows(
        "SKU,Name,Colour,Price",
        "TS-01,T-shirt «Classic»,Crème,19.99",
        "MG-07,Mug 咖啡,Black,8.50",
        "NB-12,Notebook Ελληνικά,Ocean blue,6.25",
        "CP-03,Cap Čepice,Grey,14.00",
    )),
    # Quoted fields: the conversion is purely textual, so a comma inside
    # quotes becomes a tab like any other.
    "customers-quoted.csv": ("ansi", rows(
        '"Customer","Address","Note"',
        '"Lindqvist, Ada","Storgatan 4, Stockholm","Prefers email"',
        '"Menon, Ravi","12 Marine Drive, Mumbai","Call after 10:00"',
        '"Martin, Chloe","8 rue Oberkampf, Paris","Invoice ""monthly"""',
    )),
}


def main():
    SAMPLES.mkdir(parents=True, exist_ok=True)
    for name, (encoding, text) in FILES.items():
        if encoding == "ansi":
            data = text.encode("ascii")
        elif encoding == "utf-16":
            data = b"\xff\xfe" + text.encode("utf-16-le")
        else:
            data = text.encode(encoding)
        (SAMPLES / name).write_bytes(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
