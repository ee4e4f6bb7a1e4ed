import "pe"

private rule Base : tag { meta: description = "Base" score = 5 strings: $a = "ab\x41\"\\" nocase ascii wide condition: #a > 1 }
rule Features : one two {
    meta:
        description = "Every feature"
        active = true
    strings:
        $t1 = "text" fullword wide ascii
        $t2 = "encoded" base64 base64wide private
        $t3 = "alpha" base64("!@#$%^&*()_+-=[]{}|;:,.<>?/~`0123456789abcdefghijklmnopqrstuvwxyzABC")
        $h1 = { 4D 5A ?? ?0 [4] ( 01 | 02 03 ) [2-] 00 }
        $r1 = /ab+c{1,3}?[^x-z]\b(d|e)$/is
    condition:
        Base and ($t1 at 0 or $t2 in (0..filesize) or #h1 in (0..100) == 2) and
        (2 of ($t*) or any of them or none of ($h*) or 50% of them or all of them) and
        for any of ($t*) : ($ and # > 0 and @ > 0 and ! > 0) and
        for all i in (1..#t1) : (@t1[i] + !t1[i] <= filesize) and
        for 2 i in (0, 1, 2) : (i * 2 \ 1 % 3 | 1 & 7 ^ 2 << 1 >> 1 != ~i) and
        uint16(0) == 0x5a4d and int32be(4) < -1 and uint8(filesize - 1) >= 0o7 and
        filesize < 10MB and 1KB > 10 and not defined uint32(filesize) and
        "abc" contains "b" and "x" icontains "X" and "ab" startswith "a" and "ab" iendswith "B" and
        "a" iequals "A" and "abc" matches /b/ and
        pe.is_dll() and pe.number_of_exports > 0 and pe.exports("Main") and pe.exports(/^Dll/) and
        for any i in (0 .. pe.number_of_sections) : (pe.sections[i].name == ".text") and
        for any d in pe.data_directories : (d.virtual_address != 0 and d.size == 0) and
        for any fn in pe.export_details : (fn.forward_name contains "Dll") and
        pe.machine == pe.MACHINE_AMD64
}
rule NoStrings { condition: Features or 1 of (Base, Features) }
