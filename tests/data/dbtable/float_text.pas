{ Golden number texts for the typed tables, made with Free Pascal in Delphi
  mode: fpc float_text.pas && ./float_text > float_text.txt
  Each line: the 10 bytes of an extended value (hex, little-endian), then
  FloatToStr of it (general format, 15 significant digits). Lines starting
  with "P" give a text and the bytes StrToFloat makes of it. }
{$mode delphi}
program float_text;
uses SysUtils;

procedure Emit(e: Extended);
var b: array[0..9] of Byte absolute e; i: Integer; s: string;
begin
  s := '';
  for i := 0 to 9 do s := s + LowerCase(IntToHex(b[i], 2));
  WriteLn(s, ' ', FloatToStr(e));
end;

procedure EmitParse(const t: string);
var e: Extended; b: array[0..9] of Byte absolute e; i: Integer; s: string;
begin
  e := StrToFloat(t);
  s := '';
  for i := 0 to 9 do s := s + LowerCase(IntToHex(b[i], 2));
  WriteLn('P ', t, ' ', s);
end;

const
  fixed: array[0..27] of Extended = (0, 1, -1, 0.1, 0.5, 100, 1e14, 1e15, -1e15, 123456789012345678.0,
    0.0001, 0.00001, 0.000001, -2.5e-7, 1.5e300, 1e-300, 3.14159265358979, 1234567.891,
    999999999999999.0, 999999999999999.5, 2147483647, -2147483648, 0.3, 12.5, 1e-5, 9.99999999999999e-6,
    65536.125, 1e100);
  texts: array[0..14] of string = ('1', '-1', '0.1', '3.14159', '1e5', '1E+5', '2.5e-3', '.5', '1.',
    '123456789', '-0.000125', '6.02214076e23', '1.7976931348623157e308', '  42  ', '+7.25');
var i, k: Integer; e: Extended;
begin
  DecimalSeparator := '.';
  for i := 0 to High(fixed) do Emit(fixed[i]);
  Emit(1/3); Emit(2/3); Emit(0.1 + 0.2);
  RandSeed := 12345;
  for i := 1 to 300 do begin
    k := Random(40) - 20;
    e := (Random - 0.5) * 10;
    while k > 0 do begin e := e * 10; Dec(k); end;
    while k < 0 do begin e := e / 10; Inc(k); end;
    Emit(e);
  end;
  for i := 0 to High(texts) do EmitParse(texts[i]);
end.
